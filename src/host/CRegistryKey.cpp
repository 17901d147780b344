#include "CRegistryKey.h"
#include <vector>

CRegistryKey::~CRegistryKey() { Close(); }

void CRegistryKey::Close() noexcept {
    if (m_key) RegCloseKey(m_key);
    m_key = nullptr;
}

LONG CRegistryKey::Open(HKEY root, const std::wstring& path, REGSAM access) {
    Close();
    return RegOpenKeyExW(root, path.c_str(), 0, access, &m_key);
}

LONG CRegistryKey::Create(HKEY root, const std::wstring& path, REGSAM access) {
    Close();
    return RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &m_key, nullptr);
}

std::optional<std::wstring> CRegistryKey::ReadString(const std::wstring& name, size_t capacity) const {
    if (!m_key || capacity == 0) return std::nullopt;
    std::vector<wchar_t> buffer(capacity, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(capacity * sizeof(wchar_t));
    if (RegQueryValueExW(m_key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::wstring value(buffer.data(), bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    if (value.size() + 1 > capacity) return std::nullopt;
    return value;
}

std::optional<DWORD> CRegistryKey::ReadDword(const std::wstring& name) const {
    if (!m_key) return std::nullopt;
    DWORD type = 0, value = 0, bytes = sizeof(value);
    if (RegQueryValueExW(m_key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof(value))
        return std::nullopt;
    return value;
}

LONG CRegistryKey::WriteString(const std::wstring& name, const std::wstring& value) {
    if (!m_key) return ERROR_INVALID_HANDLE;
    return RegSetValueExW(m_key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG CRegistryKey::WriteDword(const std::wstring& name, DWORD value) {
    if (!m_key) return ERROR_INVALID_HANDLE;
    return RegSetValueExW(m_key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}
