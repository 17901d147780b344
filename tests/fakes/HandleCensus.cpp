#include "HandleCensus.h"
#include <vector>

namespace {

using QuerySystem = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryObject = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

struct Entry {
    ULONG process;
    BYTE type, flags;
    USHORT value;
    void* object;
    ULONG access;
};
struct List {
    ULONG count;
    Entry entries[1];
};
struct TypeName {
    USHORT length, capacity;
    wchar_t* text;
};

FARPROC Ntdll(const char* name) { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name); }

std::wstring TypeOf(HANDLE handle, BYTE index, QueryObject queryObject) {
    constexpr ULONG kObjectTypeInformation = 2;
    alignas(8) BYTE buffer[1024];
    if (queryObject && queryObject(handle, kObjectTypeInformation, buffer, sizeof buffer, nullptr) == 0) {
        const auto* name = reinterpret_cast<const TypeName*>(buffer);
        if (name->text) return std::wstring(name->text, name->length / sizeof(wchar_t));
    }
    return L"type " + std::to_wstring(index);
}

}  // namespace

HandleCensus::Counts HandleCensus::Take() {
    const auto querySystem = reinterpret_cast<QuerySystem>(reinterpret_cast<void*>(Ntdll("NtQuerySystemInformation")));
    const auto queryObject = reinterpret_cast<QueryObject>(reinterpret_cast<void*>(Ntdll("NtQueryObject")));
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<BYTE> buffer(1 << 16);
    LONG status;
    while ((status = querySystem(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                                 nullptr)) == kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    Counts counts;
    if (status != 0) return counts;
    // One name query per type: the index is the system's, the same for every handle of it.
    std::map<BYTE, std::wstring> names;
    const auto* list = reinterpret_cast<const List*>(buffer.data());
    for (ULONG i = 0; i < list->count; ++i) {
        const Entry& entry = list->entries[i];
        if (entry.process != GetCurrentProcessId()) continue;
        auto name = names.find(entry.type);
        if (name == names.end())
            name = names.emplace(entry.type, TypeOf(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.value)),
                                                    entry.type, queryObject)).first;
        ++counts[name->second];
    }
    return counts;
}

long HandleCensus::Total(const Counts& counts) {
    long total = 0;
    for (const auto& [type, count] : counts) total += count;
    return total;
}

HandleCensus::Counts HandleCensus::Growth(const Counts& earlier, const Counts& later) {
    Counts growth = later;
    for (const auto& [type, count] : earlier) growth[type] -= count;
    for (auto it = growth.begin(); it != growth.end();) it = it->second == 0 ? growth.erase(it) : std::next(it);
    return growth;
}
