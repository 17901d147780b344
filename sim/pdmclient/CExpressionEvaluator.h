#pragma once
#include "CWorkspace.h"
#include <optional>
#include <string>
#include <vector>

// The client's expression language over a workspace:
//   #(FIELD) #(Appl:Name) #(DTY:Name) #(=isJobServer()) #(=crdynamic("W"))
//   #(FindFile "name" "folder;folder" :| or :/)
//   $(VARIABLE)
//   @(where ["db=Table"] "condition" #(expression))   (also "Where")
//   @(QELKEYfromPath "path")   @(Appl:Name)
// A name may end with a shape: ":-default", ":/", ":/+", ":/-", ":|", ":|+", ":|-"
// (separators "/" or "\", trailing separator added or removed). Text around expressions is
// kept, quoted arguments may hold expressions, and an answer that begins with "!" gives the
// reason why the text could not be evaluated.
class CExpressionEvaluator {
public:
    explicit CExpressionEvaluator(const CWorkspace& workspace) noexcept : m_workspace(workspace) {}

    // Fields are read from the given record, or from the current document when none is given.
    std::wstring Evaluate(const std::wstring& text, const std::optional<CWorkspace::Record>& record = std::nullopt) const;

    // As Evaluate, but tells a failure apart from an answer that happens to begin with "!".
    bool TryEvaluate(const std::wstring& text, const std::optional<CWorkspace::Record>& record, std::wstring& value,
                     std::wstring& reason) const;

    // The records of a table that satisfy a condition; false with a reason.
    bool Select(const std::wstring& table, const std::wstring& condition, std::vector<CWorkspace::Record>& records,
                std::wstring& error) const;

private:
    using Context = std::optional<CWorkspace::Record>;
    struct Token {
        enum class Kind { Quoted, Expression, Word } kind;
        std::wstring text;
    };

    std::wstring Expand(const std::wstring& text, const Context& context) const;
    std::wstring EvaluateOne(wchar_t kind, const std::wstring& body, const Context& context) const;
    std::wstring Field(const std::wstring& nameAndShape, const Context& context) const;
    std::wstring Setting(const std::wstring& group, const std::wstring& nameAndShape) const;
    std::wstring Variable(const std::wstring& nameAndShape) const;
    std::wstring Function(const std::wstring& call, const Context& context) const;
    std::wstring FindFile(const std::vector<Token>& args, const Context& context) const;
    std::wstring Where(const std::vector<Token>& args, const Context& context) const;
    std::wstring QelkeyFromPath(const std::vector<Token>& args, const Context& context) const;
    std::vector<Token> Tokenize(const std::wstring& text) const;
    CWorkspace::Record RecordOf(const Context& context) const;

    const CWorkspace& m_workspace;
};
