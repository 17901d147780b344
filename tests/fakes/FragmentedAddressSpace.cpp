#include "fakes/FragmentedAddressSpace.h"
#include <cstdint>
#include <new>

namespace {

constexpr SIZE_T Granularity = 64 * 1024;
// Room for every piece of a 4 GB address space, taken before the space is.
constexpr size_t MostPieces = (uint64_t{1} << 32) / Granularity;

}  // namespace

FragmentedAddressSpace::FragmentedAddressSpace(SIZE_T largestHole) {
    m_reserved.reserve(MostPieces);
    ReserveAll(largestHole);
}

FragmentedAddressSpace::~FragmentedAddressSpace() {
    for (void* block : m_reserved) VirtualFree(block, 0, MEM_RELEASE);
}

void FragmentedAddressSpace::ReserveAll(SIZE_T block) {
    while (void* taken = VirtualAlloc(nullptr, block, MEM_RESERVE, PAGE_NOACCESS)) m_reserved.push_back(taken);
}

void FragmentedAddressSpace::LeaveOnly(SIZE_T bytes) {
    m_heap.reserve(MostPieces);
    ReserveAll(1024 * 1024);
    ReserveAll(Granularity);
    try {
        for (;;) m_heap.push_back(std::make_unique_for_overwrite<char[]>(Granularity));
    } catch (const std::bad_alloc&) {
    }
    for (SIZE_T given = 0; given < bytes && !m_heap.empty(); given += Granularity) m_heap.pop_back();
}
