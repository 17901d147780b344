#pragma once
#include <string>
#include <vector>

// The texts the administrator's guide quotes as log lines: each text in double quotes
// (outside code spans, Markdown's backslash escapes undone), and each "Info:" or "Error:"
// entry of its code blocks, with its line.
class GuideQuotes {
public:
    struct Quote {
        int line;
        std::wstring text;
        bool entry;  // a log entry of a code block, not a quote in the text
        // The text up to a later quotation mark, for a quote holding quotes ("… holding ".."
        // or ":" could …"), nearest first.
        std::vector<std::wstring> longer;
    };

    explicit GuideQuotes(const std::wstring& path);

    const std::vector<Quote>& quotes() const { return m_quotes; }

private:
    std::vector<Quote> m_quotes;
};
