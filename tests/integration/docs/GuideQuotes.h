#pragma once
#include <string>
#include <vector>

// The texts the administrator's guide quotes as log lines: each text in double quotes
// (outside code spans), and each "Info:" or "Error:" entry of its code blocks, with its line.
class GuideQuotes {
public:
    struct Quote {
        int line;
        std::wstring text;
        bool entry;  // a log entry of a code block, not a quote in the text
    };

    explicit GuideQuotes(const std::wstring& path);

    const std::vector<Quote>& quotes() const { return m_quotes; }

private:
    std::vector<Quote> m_quotes;
};
