#pragma once
#include <string>

// The host's current profile as its per-user registry settings record it (read only).
class CHostProfile {
public:
    // The profile's drawing-template folder; empty when any step of the way is missing.
    static std::wstring TemplatePath();
};
