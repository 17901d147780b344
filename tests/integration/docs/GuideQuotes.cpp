#include "GuideQuotes.h"
#include "TextCodec.h"
#include <cwctype>
#include <regex>
#include <sstream>

namespace {

// "Mon Dec 07 09:14:02 2026: Info: …" and "Info: …" in a code block; messages are the client's texts.
const std::wregex kEntry(LR"(^(?:[A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4}: )?(?:Info|Error): (.*)$)");

}  // namespace

GuideQuotes::GuideQuotes(const std::wstring& path) {
    std::string bytes;
    std::wstring error;
    if (!TextCodec::ReadFileBytes(path, bytes, error)) return;
    std::wistringstream text(TextCodec::FromUtf8(bytes));
    // A paragraph's lines are joined, so that a quote may run over a line break; a table row
    // stands alone. Each character keeps its line.
    std::wstring prose;
    std::vector<int> lines;
    const auto flush = [&] {
        std::vector<size_t> marks;
        for (size_t at = prose.find(L'"'); at != std::wstring::npos; at = prose.find(L'"', at + 1)) marks.push_back(at);
        for (size_t k = 0; k + 1 < marks.size(); k += 2) {
            Quote quote{lines[marks[k]], prose.substr(marks[k] + 1, marks[k + 1] - marks[k] - 1), false, {}};
            for (size_t end = k + 3; end < marks.size(); end += 2)
                quote.longer.push_back(prose.substr(marks[k] + 1, marks[end] - marks[k] - 1));
            m_quotes.push_back(std::move(quote));
        }
        prose.clear();
        lines.clear();
    };
    bool block = false;
    int number = 0;
    for (std::wstring line; std::getline(text, line);) {
        ++number;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.rfind(L"```", 0) == 0) {
            flush();
            block = !block;
            continue;
        }
        if (block) {
            std::wsmatch entry;
            if (std::regex_match(line, entry, kEntry)) m_quotes.push_back({number, entry[1].str(), true, {}});
            continue;
        }
        if (line.empty() || line[0] == L'|') flush();
        // Code spans hold commands and expressions, not log texts. A backslash before ASCII
        // punctuation escapes it ("\|" is a "|" in a table, "\\" one backslash).
        bool span = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == L'`') span = !span;
            if (span || line[i] == L'`') continue;
            if (line[i] == L'\\' && i + 1 < line.size() && line[i + 1] < 0x80 && std::iswpunct(line[i + 1])) ++i;
            prose += line[i];
            lines.push_back(number);
        }
        prose += L' ';
        lines.push_back(number);
        if (!line.empty() && line[0] == L'|') flush();
    }
    flush();
}
