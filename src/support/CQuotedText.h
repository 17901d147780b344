#pragma once
#include <string>

// A value the component puts between quotes in a host or client command: no quote that would
// end them and no control character, so it cannot end its quotes and add arguments. Made only by
// the gate (COutsideValue).
class CQuotedText {
public:
    const std::wstring& str() const noexcept { return m_text; }

private:
    friend class COutsideValue;
    explicit CQuotedText(std::wstring text) : m_text(std::move(text)) {}

    std::wstring m_text;
};
