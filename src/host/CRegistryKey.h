#pragma once
#include <windows.h>
#include <optional>
#include <string>

// An open registry key, closed with the object. Reads answer nothing for a missing value,
// a value of another type or one that does not fit the caller's buffer size.
class CRegistryKey {
public:
    CRegistryKey() noexcept = default;
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    ~CRegistryKey();

    [[nodiscard]] LONG Open(HKEY root, const std::wstring& path, REGSAM access);
    [[nodiscard]] LONG Create(HKEY root, const std::wstring& path, REGSAM access);
    void Close() noexcept;

    // A REG_SZ or REG_EXPAND_SZ value (not expanded) of at most capacity characters,
    // terminator included; name empty for the default value.
    std::optional<std::wstring> ReadString(const std::wstring& name, size_t capacity) const;
    std::optional<DWORD> ReadDword(const std::wstring& name) const;
    [[nodiscard]] LONG WriteString(const std::wstring& name, const std::wstring& value);
    [[nodiscard]] LONG WriteDword(const std::wstring& name, DWORD value);

private:
    HKEY m_key = nullptr;
};
