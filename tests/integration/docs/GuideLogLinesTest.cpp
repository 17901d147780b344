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

// The code's texts that the quote fits best: the ones it quotes.
std::vector<const LogFormat*> BestFits(const CodeLogFormats& code, const std::wstring& quote) {
    std::vector<const LogFormat*> fits;
    int best = -1;
    for (const LogFormat& format : code.formats()) {
        const int fit = format.Fit(quote, false);
        if (fit < 0 || fit < best) continue;
        if (fit > best) fits.clear();
        best = fit;
        fits.push_back(&format);
    }
    return fits;
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
        const bool logged = MustBeLogged(quote, operations);
        std::wstring text = quote.text;
        std::vector<const LogFormat*> fits = BestFits(code, text);
        // A quote holding quotes ends at a later quotation mark.
        for (size_t n = 0; fits.empty() && logged && n < quote.longer.size(); ++n) fits = BestFits(code, text = quote.longer[n]);
        if (fits.empty()) text = quote.text;
        const std::string where =
            "docs/administration.md:" + std::to_string(quote.line) + ": \"" + TextCodec::ToUtf8(text) + "\"";
        if (fits.empty()) {
            if (logged) ADD_FAILURE() << where << " is no log line the code writes";
            continue;
        }
        ++checked;
        bool fixed = false;
        for (const LogFormat* format : fits) fixed = fixed || format->Fit(text, true) >= 0;
        if (!fixed)
            ADD_FAILURE() << where << " differs from what the code writes: \"" << TextCodec::ToUtf8(fits.front()->Shown())
                          << "\" (" << TextCodec::ToUtf8(fits.front()->where()) << ")";
    }
    EXPECT_GT(checked, 60u);
}

}  // namespace
