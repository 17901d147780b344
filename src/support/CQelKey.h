#pragma once
#include <string>

// A database key as it is typed into the host's command line and put into client commands:
// only letters, digits, marks and "-_./", so nothing in it can split a command. Made only by
// the gate (COutsideValue); the empty key is one too, and callers decide about it.
class CQelKey {
public:
    const std::wstring& str() const noexcept { return m_key; }
    bool empty() const noexcept { return m_key.empty(); }

private:
    friend class COutsideValue;
    explicit CQelKey(std::wstring key) : m_key(std::move(key)) {}

    std::wstring m_key;
};
