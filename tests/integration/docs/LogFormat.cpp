#include "LogFormat.h"
#include <algorithm>
#include <climits>
#include <cwctype>

namespace {

constexpr wchar_t kEllipsis = L'\u2026';

// A character of the quote, or a stretch of any text ("…", "<name>").
struct QuoteItem {
    bool any;
    wchar_t c;
};

std::vector<QuoteItem> QuoteItems(const std::wstring& quote) {
    std::vector<QuoteItem> items;
    for (size_t i = 0; i < quote.size(); ++i) {
        if (quote[i] == kEllipsis) {
            items.push_back({true, 0});
            continue;
        }
        if (quote[i] == L'<') {
            const size_t close = quote.find_first_of(L"<>", i + 1);
            if (close != std::wstring::npos && quote[close] == L'>') {
                items.push_back({true, 0});
                i = close;
                continue;
            }
        }
        items.push_back({false, quote[i]});
    }
    while (!items.empty() && !items.back().any && items.back().c == L' ') items.pop_back();
    return items;
}

bool Fits(wchar_t conversion, wchar_t c) {
    switch (conversion) {
        case L'X': return std::iswdigit(c) || (c >= L'A' && c <= L'F');
        case L'x': return std::iswdigit(c) || (c >= L'a' && c <= L'f');
        case L'd': return std::iswdigit(c) || c == L'-';
        case L'u': return std::iswdigit(c);
        default: return true;
    }
}

// How well the format parts and the quote items stand for the same line: the most quote
// characters that the format's own characters match; kNoFit when they cannot stand for the
// same line.
class Matcher {
public:
    static constexpr int kNoFit = INT_MIN / 2;

    Matcher(const std::vector<LogFormat::Part>& format, const std::vector<QuoteItem>& quote)
        : m_f(format), m_q(quote), m_memo((format.size() + 1) * (quote.size() + 1), kUnknown) {}

    int Run() { return Match(0, 0); }

private:
    static constexpr int kUnknown = INT_MIN;

    int Match(size_t i, size_t j) {
        int& memo = m_memo[i * (m_q.size() + 1) + j];
        if (memo == kUnknown) memo = Compute(i, j);
        return memo;
    }

    int Compute(size_t i, size_t j) {
        using Kind = LogFormat::Part::Kind;
        const size_t n = m_f.size(), m = m_q.size();
        if (i == n && j == m) return 0;
        int best = kNoFit;
        const auto consider = [&best](int rest, int gain) {
            if (rest != kNoFit) best = std::max(best, rest + gain);
        };
        // The guide leaves out the blanks a line ends with.
        if (j == m && i < n && m_f[i].kind == Kind::Char && m_f[i].c == L' ') consider(Match(i + 1, j), 0);
        if (j < m && m_q[j].any) {
            consider(Match(i, j + 1), 0);  // the stand-in ends
            if (i < n) consider(Match(i + 1, j), 0);  // it covers a part more
        }
        if (i < n && m_f[i].kind != Kind::Char) {
            consider(Match(i + 1, j), 0);
            const wchar_t conversion = m_f[i].kind == Kind::Open ? L's' : m_f[i].c;
            if (j < m && !m_q[j].any && Fits(conversion, m_q[j].c)) consider(Match(i, j + 1), 0);
        } else if (i < n && j < m && !m_q[j].any && m_f[i].c == m_q[j].c) {
            consider(Match(i + 1, j + 1), 1);
        }
        return best;
    }

    const std::vector<LogFormat::Part>& m_f;
    const std::vector<QuoteItem>& m_q;
    std::vector<int> m_memo;
};

}  // namespace

std::vector<LogFormat::Part> LogFormat::Parse(const std::wstring& literal) {
    std::vector<Part> parts;
    for (size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] != L'%' || i + 1 >= literal.size()) {
            parts.push_back({Part::Kind::Char, literal[i], {}});
            continue;
        }
        if (literal[i + 1] == L'%') {
            parts.push_back({Part::Kind::Char, L'%', {}});
            ++i;
            continue;
        }
        // Flags, width, precision and size, then the conversion.
        size_t end = literal.find_first_not_of(L"-+ #0123456789.lhwI", i + 1);
        if (end == std::wstring::npos) end = literal.size() - 1;
        wchar_t conversion = literal[end];
        if (conversion == L'i') conversion = L'd';
        if (conversion == L'S' || conversion == L'c') conversion = L's';
        parts.push_back({Part::Kind::Conversion, conversion, {}});
        i = end;
    }
    return parts;
}

int LogFormat::Fit(const std::wstring& quote, bool withValues) const {
    std::vector<Part> parts;
    for (const Part& part : m_parts) {
        if (withValues && part.kind == Part::Kind::Conversion && part.value) {
            for (wchar_t c : *part.value) parts.push_back({Part::Kind::Char, c, {}});
        } else {
            parts.push_back(part);
        }
    }
    const std::vector<QuoteItem> items = QuoteItems(quote);
    // A quote that this text's conversions and the quote's stand-ins would swallow whole
    // ("Run() QELDOPEN …" against "%s: …") is not this text: a few of its characters at least
    // must be this text's own.
    constexpr int kFewestOwn = 5;
    int characters = 0;
    for (const QuoteItem& item : items)
        if (!item.any) ++characters;
    const int fit = Matcher(parts, items).Run();
    return fit >= std::min(kFewestOwn, characters) ? fit : -1;
}

std::wstring LogFormat::Shown() const {
    std::wstring text;
    for (const Part& part : m_parts) {
        if (part.kind == Part::Kind::Char)
            text += part.c;
        else if (part.kind == Part::Kind::Open)
            text += kEllipsis;
        else
            text += part.value ? *part.value : std::wstring(L"%") + part.c;
    }
    return text;
}

bool LogFormat::SaysSomething(const std::wstring& text) {
    constexpr size_t kFewestLetters = 4;
    size_t letters = 0;
    for (const QuoteItem& item : QuoteItems(text))
        if (!item.any && std::iswalpha(item.c)) ++letters;
    return letters >= kFewestLetters;
}

std::wstring LogFormat::Operation() const {
    std::wstring name;
    for (const Part& part : m_parts) {
        if (part.kind != Part::Kind::Char) return {};
        if (part.c == L':') break;
        if (!std::iswalnum(part.c) && part.c != L'_' && part.c != L'(' && part.c != L')') return {};
        name += part.c;
    }
    const size_t after = name.size();
    const bool followed = after + 1 < m_parts.size() && m_parts[after].c == L':' &&
                          m_parts[after + 1].kind == Part::Kind::Char && m_parts[after + 1].c == L' ';
    return followed && !name.empty() && std::iswalpha(name[0]) ? name : std::wstring();
}
