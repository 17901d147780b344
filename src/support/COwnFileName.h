#pragma once
#include <string>

// A file name the component uses inside a folder of its own (the lock, the fallback's copy):
// no separator, no control character, no ":" (a drive or stream), not made only of dots and
// blanks, so it cannot leave that folder. Made only by the gate (COutsideValue).
class COwnFileName {
public:
    const std::wstring& str() const noexcept { return m_name; }
    // The name cut at its last dot (nothing when it has none), followed by extension, which
    // starts with a dot and is the component's own.
    COwnFileName WithExtension(const wchar_t* extension) const;

private:
    friend class COutsideValue;
    explicit COwnFileName(std::wstring name) : m_name(std::move(name)) {}

    std::wstring m_name;
};
