#include "GuideQuotes.h"
#include "TextCodec.h"
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
        for (size_t open = prose.find(L'"'); open != std::wstring::npos;) {
            const size_t close = prose.find(L'"', open + 1);
            if (close == std::wstring::npos) break;
            m_quotes.push_back({lines[open], prose.substr(open + 1, close - open - 1), false});
            open = prose.find(L'"', close + 1);
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
            if (std::regex_match(line, entry, kEntry)) m_quotes.push_back({number, entry[1].str(), true});
            continue;
        }
        if (line.empty() || line[0] == L'|') flush();
        // Code spans hold commands and expressions, not log texts; "\|" is a "|" in a table.
        bool span = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == L'`') span = !span;
            if (span || line[i] == L'`' || (line[i] == L'\\' && i + 1 < line.size() && line[i + 1] == L'|')) continue;
            prose += line[i];
            lines.push_back(number);
        }
        prose += L' ';
        lines.push_back(number);
        if (!line.empty() && line[0] == L'|') flush();
    }
    flush();
}
