#pragma once
#include <string>
#include <vector>

// The tokens of one C++ source file, enough to read the texts it logs: string literals
// (adjacent ones joined, escapes decoded), identifiers, numbers and punctuators, with their
// lines; comments left out. "#define NAME VALUE" lines are kept as the tokens
// "#define NAME VALUE ;". Brackets ( [ { are paired.
class CppTokens {
public:
    enum class Kind { Literal, Identifier, Number, Punct };
    struct Token {
        Kind kind;
        std::wstring text;
        int line;
    };

    explicit CppTokens(const std::wstring& source);

    const std::vector<Token>& tokens() const { return m_tokens; }
    size_t size() const { return m_tokens.size(); }
    const Token& operator[](size_t i) const { return m_tokens[i]; }
    // The token at i is this punctuator or word.
    bool Is(size_t i, const wchar_t* punct) const;
    // The index of the bracket closing the one at i; size() when it is unpaired.
    size_t Closing(size_t i) const { return m_closing[i]; }

    // The ranges [begin, end) between the separators that stand at the top level of the range.
    std::vector<std::pair<size_t, size_t>> Split(size_t begin, size_t end,
                                                 const std::vector<const wchar_t*>& separators) const;

private:
    void Pair();

    std::vector<Token> m_tokens;
    std::vector<size_t> m_closing;
};
