#pragma once
#include <windows.h>
#include <string>
#include <utility>
#include <vector>

// Runs a registration script (the "REGISTRY" resource format): nested keys with default
// and named string values, ForceRemove and NoRemove flags, and %NAME% replacements.
class CRegistrar {
public:
    // A replacement's value is inserted as script text: single quotes must come doubled.
    void AddReplacement(const std::wstring& name, const std::wstring& value);

    // Both return the first failure as an HRESULT; a malformed script gives E_INVALIDARG.
    [[nodiscard]] HRESULT Register(const std::wstring& script) const;
    [[nodiscard]] HRESULT Unregister(const std::wstring& script) const;

    // The script stored as resource type "REGISTRY" with the given id in a module.
    [[nodiscard]] static HRESULT LoadScript(HMODULE module, UINT id, std::wstring& script);

private:
    struct Value {
        std::wstring name;  // empty: the key's default value
        DWORD type;
        std::wstring data;
    };
    struct Key {
        std::wstring name;
        bool forceRemove = false;
        bool noRemove = false;
        std::vector<Value> values;
        std::vector<Key> children;
    };
    struct Root {
        HKEY hive;
        std::vector<Key> keys;
    };

    [[nodiscard]] HRESULT Parse(const std::wstring& script, std::vector<Root>& roots) const;
    static HRESULT RegisterKey(HKEY parent, const Key& key);
    static HRESULT UnregisterKey(HKEY parent, const Key& key);

    std::vector<std::pair<std::wstring, std::wstring>> m_replacements;
};
