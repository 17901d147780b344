#include "CppTokens.h"
#include <cwchar>
#include <cwctype>

namespace {

bool IsIdentifierStart(wchar_t c) { return std::iswalpha(c) || c == L'_'; }
bool IsIdentifierPart(wchar_t c) { return std::iswalnum(c) || c == L'_'; }

constexpr const wchar_t* kLongPunctuators[] = {L"...", L"::", L"->", L"==", L"!=", L"<=", L">=", L"&&", L"||", L"<<",
                                               L">>", L"+=", L"-=", L"*=", L"/=", L"|=", L"&=", L"++", L"--"};

// Reads source text from a position on; the scanner of CppTokens.
class Scanner {
public:
    Scanner(const std::wstring& text, std::vector<CppTokens::Token>& out) : m_text(text), m_out(out) {}

    void Run() {
        bool lineStart = true;
        while (m_at < m_text.size()) {
            const wchar_t c = m_text[m_at];
            if (c == L'\n') {
                ++m_line;
                ++m_at;
                lineStart = true;
                continue;
            }
            if (std::iswspace(c)) {
                ++m_at;
                continue;
            }
            if (c == L'#' && lineStart) {
                Directive();
                continue;
            }
            lineStart = false;
            Token();
        }
    }

private:
    bool At(const wchar_t* text) const { return m_text.compare(m_at, wcslen(text), text) == 0; }

    void Push(CppTokens::Kind kind, std::wstring text, int line) {
        // Adjacent string literals are one.
        if (kind == CppTokens::Kind::Literal && !m_out.empty() && m_out.back().kind == CppTokens::Kind::Literal) {
            m_out.back().text += text;
            return;
        }
        m_out.push_back({kind, std::move(text), line});
    }

    void Token() {
        if (At(L"//")) {
            while (m_at < m_text.size() && m_text[m_at] != L'\n') ++m_at;
            return;
        }
        if (At(L"/*")) {
            const size_t end = m_text.find(L"*/", m_at + 2);
            for (size_t i = m_at; i < std::min(end, m_text.size()); ++i)
                if (m_text[i] == L'\n') ++m_line;
            m_at = end == std::wstring::npos ? m_text.size() : end + 2;
            return;
        }
        const wchar_t c = m_text[m_at];
        if (IsIdentifierStart(c)) {
            size_t end = m_at;
            while (end < m_text.size() && IsIdentifierPart(m_text[end])) ++end;
            const std::wstring word = m_text.substr(m_at, end - m_at);
            const bool prefix = word == L"L" || word == L"u" || word == L"U" || word == L"u8";
            const bool rawPrefix = word == L"R" || word == L"LR" || word == L"uR" || word == L"UR" || word == L"u8R";
            if (end < m_text.size() && m_text[end] == L'"' && (prefix || rawPrefix)) {
                m_at = end;
                rawPrefix ? RawString() : String(L'"');
                return;
            }
            if (end < m_text.size() && m_text[end] == L'\'' && prefix) {
                m_at = end;
                String(L'\'');
                return;
            }
            Push(CppTokens::Kind::Identifier, word, m_line);
            m_at = end;
            return;
        }
        if (std::iswdigit(c) || (c == L'.' && m_at + 1 < m_text.size() && std::iswdigit(m_text[m_at + 1]))) {
            size_t end = m_at;
            while (end < m_text.size() && (IsIdentifierPart(m_text[end]) || m_text[end] == L'.' || m_text[end] == L'\''))
                ++end;
            Push(CppTokens::Kind::Number, m_text.substr(m_at, end - m_at), m_line);
            m_at = end;
            return;
        }
        if (c == L'"' || c == L'\'') {
            String(c);
            return;
        }
        for (const wchar_t* punct : kLongPunctuators) {
            if (At(punct)) {
                Push(CppTokens::Kind::Punct, punct, m_line);
                m_at += wcslen(punct);
                return;
            }
        }
        Push(CppTokens::Kind::Punct, std::wstring(1, c), m_line);
        ++m_at;
    }

    // A quoted literal from its opening quote; a character literal counts as a number.
    void String(wchar_t quote) {
        const int line = m_line;
        std::wstring text;
        for (++m_at; m_at < m_text.size() && m_text[m_at] != quote; ++m_at) {
            if (m_text[m_at] != L'\\' || m_at + 1 >= m_text.size()) {
                text += m_text[m_at];
                continue;
            }
            const wchar_t e = m_text[++m_at];
            switch (e) {
                case L'n': text += L'\n'; break;
                case L't': text += L'\t'; break;
                case L'r': text += L'\r'; break;
                case L'0': text += L'\0'; break;
                case L'x': {
                    unsigned value = 0;
                    while (m_at + 1 < m_text.size() && std::iswxdigit(m_text[m_at + 1]))
                        value = value * 16 + std::stoi(std::wstring(1, m_text[++m_at]), nullptr, 16);
                    text += static_cast<wchar_t>(value);
                    break;
                }
                default: text += e;
            }
        }
        ++m_at;
        if (quote == L'"')
            Push(CppTokens::Kind::Literal, text, line);
        else
            Push(CppTokens::Kind::Number, L"'" + text + L"'", line);
    }

    void RawString() {
        const size_t open = m_text.find(L'(', m_at);
        const std::wstring closing = L")" + m_text.substr(m_at + 1, open - m_at - 1) + L"\"";
        const size_t end = m_text.find(closing, open);
        const std::wstring text = m_text.substr(open + 1, end - open - 1);
        Push(CppTokens::Kind::Literal, text, m_line);
        for (wchar_t c : text)
            if (c == L'\n') ++m_line;
        m_at = end == std::wstring::npos ? m_text.size() : end + closing.size();
    }

    // "#define NAME VALUE" becomes tokens ending in ";"; every other directive is skipped.
    void Directive() {
        size_t end = m_at;
        std::wstring line;
        while (end < m_text.size() && m_text[end] != L'\n') {
            if (m_text[end] == L'\\' && end + 1 < m_text.size() && m_text[end + 1] == L'\n') {
                ++m_line;
                end += 2;
                continue;
            }
            line += m_text[end++];
        }
        m_at = end;
        const size_t directive = line.find_first_not_of(L"# \t");
        if (directive == std::wstring::npos || line.compare(directive, 7, L"define ") != 0) return;
        const size_t name = line.find_first_not_of(L" \t", directive + 7);
        if (name == std::wstring::npos) return;
        size_t nameEnd = name;
        while (nameEnd < line.size() && IsIdentifierPart(line[nameEnd])) ++nameEnd;
        if (nameEnd < line.size() && line[nameEnd] == L'(') return;  // a function-like macro
        Push(CppTokens::Kind::Punct, L"#define", m_line);
        std::vector<CppTokens::Token> value;
        Scanner(line.substr(name), value).Run();
        for (CppTokens::Token& token : value) Push(token.kind, token.text, m_line);
        Push(CppTokens::Kind::Punct, L";", m_line);
    }

    const std::wstring& m_text;
    std::vector<CppTokens::Token>& m_out;
    size_t m_at = 0;
    int m_line = 1;
};

}  // namespace

CppTokens::CppTokens(const std::wstring& source) {
    Scanner(source, m_tokens).Run();
    Pair();
}

bool CppTokens::Is(size_t i, const wchar_t* punct) const {
    return i < m_tokens.size() && m_tokens[i].kind != Kind::Literal && m_tokens[i].text == punct;
}

void CppTokens::Pair() {
    m_closing.assign(m_tokens.size(), m_tokens.size());
    std::vector<size_t> open;
    for (size_t i = 0; i < m_tokens.size(); ++i) {
        if (m_tokens[i].kind != Kind::Punct) continue;
        const std::wstring& t = m_tokens[i].text;
        if (t == L"(" || t == L"[" || t == L"{") {
            open.push_back(i);
        } else if ((t == L")" || t == L"]" || t == L"}") && !open.empty()) {
            m_closing[open.back()] = i;
            open.pop_back();
        }
    }
}

std::vector<std::pair<size_t, size_t>> CppTokens::Split(size_t begin, size_t end,
                                                        const std::vector<const wchar_t*>& separators) const {
    std::vector<std::pair<size_t, size_t>> parts;
    size_t start = begin;
    for (size_t i = begin; i < end; ++i) {
        if (Is(i, L"(") || Is(i, L"[") || Is(i, L"{")) {
            i = std::min(m_closing[i], end);
            continue;
        }
        for (const wchar_t* separator : separators) {
            if (Is(i, separator)) {
                parts.emplace_back(start, i);
                start = i + 1;
                break;
            }
        }
    }
    parts.emplace_back(start, end);
    return parts;
}
