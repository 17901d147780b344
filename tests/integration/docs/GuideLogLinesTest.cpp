// Every log line the administrator's guide quotes is one the code writes, with the values the
// code fixes: the guide's "(hr = …)", numbers and names must be what the code passes where the
// code decides them (a literal, a constant, an HRESULT set just before the entry).
#include "CodeLogFormats.h"
#include "GuideQuotes.h"
#include "TextCodec.h"
#include <gtest/gtest.h>

namespace {

// A quote that must be a log line: a code block's entry, or a text that begins with an
// operation the code names ("IsBusy: …") or with "Run() ".
bool MustBeLogged(const GuideQuotes::Quote& quote, const std::set<std::wstring>& operations) {
    if (quote.entry || quote.text.rfind(L"Run() ", 0) == 0) return true;
    const size_t colon = quote.text.find(L": ");
    return colon != std::wstring::npos && operations.count(quote.text.substr(0, colon));
}

TEST(GuideLogLinesTest, EveryQuotedLogLineIsWrittenByTheCodeWithItsFixedValues) {
    const CodeLogFormats code(SOURCE_FOLDER);
    const GuideQuotes guide(ADMIN_GUIDE);
    const std::set<std::wstring> operations = code.Operations();
    // The check itself reads something.
    ASSERT_GT(code.formats().size(), 100u);
    ASSERT_GT(operations.size(), 15u);
    size_t checked = 0;
    for (const GuideQuotes::Quote& quote : guide.quotes()) {
        if (!LogFormat::SaysSomething(quote.text)) continue;
        const std::string where = "docs/administration.md:" + std::to_string(quote.line) + ": \"" + TextCodec::ToUtf8(quote.text) + "\"";
        // The texts the quote fits best are the ones it quotes.
        std::vector<const LogFormat*> shaped;
        int best = -1;
        for (const LogFormat& format : code.formats()) {
            const int fit = format.Fit(quote.text, false);
            if (fit < 0 || fit < best) continue;
            if (fit > best) shaped.clear();
            best = fit;
            shaped.push_back(&format);
        }
        if (shaped.empty()) {
            if (MustBeLogged(quote, operations)) ADD_FAILURE() << where << " is no log line the code writes";
            continue;
        }
        ++checked;
        bool fixed = false;
        for (const LogFormat* format : shaped) fixed = fixed || format->Fit(quote.text, true) >= 0;
        if (!fixed)
            ADD_FAILURE() << where << " differs from what the code writes: \"" << TextCodec::ToUtf8(shaped.front()->Shown())
                          << "\" (" << TextCodec::ToUtf8(shaped.front()->where()) << ")";
    }
    EXPECT_GT(checked, 60u);
}

}  // namespace
