#pragma once
#include <windows.h>
#include <map>
#include <string>

// The handles this process holds, by object type ("Event", "File", "Thread", ...). Wine
// answers GetProcessHandleCount with 0, so they are read from the system's handle list.
class HandleCensus {
public:
    using Counts = std::map<std::wstring, long>;

    static Counts Take();
    static long Total(const Counts& counts);
    // later minus earlier, type by type, leaving out types that did not change.
    static Counts Growth(const Counts& earlier, const Counts& later);
};
