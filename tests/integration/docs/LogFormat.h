#pragma once
#include <optional>
#include <string>
#include <vector>

// One text the code writes to the log, as far as the code fixes it: literal characters,
// printf conversions (%s, %d, %X, …) with the value the code passes where that value is fixed
// in the code, and stretches filled at run time (a variable joined into the text).
class LogFormat {
public:
    struct Part {
        enum class Kind { Char, Conversion, Open } kind;
        wchar_t c = 0;                      // Char: the character; Conversion: 's', 'd', 'u', 'x' or 'X'
        std::optional<std::wstring> value;  // Conversion: the text it becomes, when the code fixes it
    };

    LogFormat(std::vector<Part> parts, std::wstring where) : m_parts(std::move(parts)), m_where(std::move(where)) {}

    // The characters and conversions of a literal format text.
    static std::vector<Part> Parse(const std::wstring& literal);

    // How the quote (where "…" and "<name>" stand for any text, and trailing blanks do not
    // count) fits this text: the count of the quote's characters that this text's own
    // characters match, the higher the closer; -1 when it is not this text. withValues: with
    // the values the code fixes in place of their conversions.
    int Fit(const std::wstring& quote, bool withValues) const;
    // The text as the code fixes it: a fixed value in place, "%X" where it is open, "…" for a
    // stretch filled at run time.
    std::wstring Shown() const;
    // "file:line" of the code.
    const std::wstring& where() const { return m_where; }
    std::vector<Part>& parts() { return m_parts; }
    // The text holds a word or more besides conversions and "<name>" stand-ins: "%s: %s" or
    // "<COMMAND>" stand for any line.
    static bool SaysSomething(const std::wstring& text);
    // The operation that begins the text ("IsBusy" of "IsBusy: …"); empty when there is none.
    std::wstring Operation() const;

private:
    std::vector<Part> m_parts;
    std::wstring m_where;
};
