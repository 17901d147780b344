#pragma once
#include <windows.h>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// Registry subtrees read raw, value by value, for before/after comparisons byte for byte.
// Keys are named "<view>:<path>" with view "32", "64" or "own" (the process's own view).
class RegistrySnapshot {
public:
    struct Value {
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes;
        bool operator==(const Value&) const = default;
        // REG_SZ data as text (up to the terminator), else empty.
        std::wstring Text() const;
    };
    using Keys = std::map<std::wstring, std::map<std::wstring, Value>>;  // key -> value name -> value

    // Adds the key at path with all its subkeys; view is KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0.
    // A missing key adds nothing.
    void Add(HKEY root, const std::wstring& path, REGSAM view = 0);

    // The PDM client's registration that its integrations rely on (cai_dll.tlb's library and
    // interface keys), in both views.
    static RegistrySnapshot ClientRegistration();
    // Everything the component registers (ProgIDs, class, own type library) in one view.
    static RegistrySnapshot ComponentRegistration(REGSAM view);

    const Keys& keys() const { return m_keys; }
    bool operator==(const RegistrySnapshot&) const = default;

private:
    Keys m_keys;
};

// Readable failure messages: every REG_SZ value as text, others as type and size.
void PrintTo(const RegistrySnapshot::Value& value, std::ostream* out);
