#pragma once
#include "CQelKey.h"
#include "CQuotedText.h"
#include <cstddef>
#include <string>
#include <utility>

// A host command line or the arguments of a client command: the component's own texts and
// values that passed the gate, so a value from outside cannot reach a command unchecked. Only
// an array (a literal) converts to it, never a std::wstring.
class CCommandLine {
public:
    template <std::size_t N>
    CCommandLine(const wchar_t (&literal)[N]) : m_text(literal) {}
    // The client's own host command (COMMAND), sent as the client wrote it.
    static CCommandLine FromClient(const std::wstring& command) { return CCommandLine(command); }

    CCommandLine operator+(const CQelKey& key) const { return CCommandLine(m_text + key.str()); }
    CCommandLine operator+(const CQuotedText& text) const { return CCommandLine(m_text + text.str()); }
    template <std::size_t N>
    CCommandLine operator+(const wchar_t (&literal)[N]) const {
        return CCommandLine(m_text + literal);
    }

    const std::wstring& str() const noexcept { return m_text; }

private:
    explicit CCommandLine(std::wstring text) : m_text(std::move(text)) {}

    std::wstring m_text;
};
