#pragma once
#include <windows.h>
#include <memory>
#include <vector>

// The address space of a 32-bit client after a long day, made in the test process: reserved
// without memory until no hole of the given size is left. Everything taken is given back when
// the object goes.
class FragmentedAddressSpace {
public:
    explicit FragmentedAddressSpace(SIZE_T largestHole);
    FragmentedAddressSpace(const FragmentedAddressSpace&) = delete;
    FragmentedAddressSpace& operator=(const FragmentedAddressSpace&) = delete;
    ~FragmentedAddressSpace();

    // Takes the smaller holes and the heap's free memory too, then gives back about bytes of
    // heap memory: all the process has left.
    void LeaveOnly(SIZE_T bytes);

private:
    void ReserveAll(SIZE_T block);

    std::vector<void*> m_reserved;
    std::vector<std::unique_ptr<char[]>> m_heap;
};
