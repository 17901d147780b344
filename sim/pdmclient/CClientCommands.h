#pragma once
#include "CConsoleUser.h"
#include "CExpressionEvaluator.h"
#include "CWorkspace.h"
#include <windows.h>
#include <optional>
#include <string>

// The client commands a CAD integration may call:
//   ___Environment NAME=value             sets a variable (an empty value clears it)
//   ___Shell Shellexecute(verb 'file' 'parameters' 'folder' )
//   ___Prepare 'source' 'target' -utf8    writes the target from the source, expressions filled in
//   ___ForAllRela db=Table "condition" command...   runs the command once per matching record,
//                                         with #FIELD and $VARIABLE put in for that record
//   ___ForRela db=Table condition command...        the same, failing when nothing matches
//   ___ChangeField 'FIELD=value'          inside the two above: changes the record
//   m_ReportObsoleteDocuments             shows the obsolete documents of the current one
// Every database change is written back to the workspace file before the command returns.
class CClientCommands {
public:
    CClientCommands(CWorkspace& workspace, const CExpressionEvaluator& evaluator, CConsoleUser& user) noexcept
        : m_workspace(workspace), m_evaluator(evaluator), m_user(user) {}

    // S_OK with the command's result (0 success, 1 failure); E_NOTIMPL for an unknown command.
    HRESULT Run(const std::wstring& command, const std::wstring& arguments, long& result);

    // A message text by key, its expressions filled in; the key itself when there is none.
    std::wstring MessageText(const std::wstring& key) const;
    std::wstring Caption() const;

private:
    using Context = std::optional<CWorkspace::Record>;

    HRESULT RunOn(const std::wstring& command, const std::wstring& arguments, const Context& context, long& result);
    long Environment(const std::wstring& arguments, const Context& context);
    long Shell(const std::wstring& arguments, const Context& context);
    long Prepare(const std::wstring& arguments, const Context& context);
    long ForRela(const std::wstring& arguments, const Context& context);
    long ForAllRela(const std::wstring& arguments, const Context& context);
    long ForEachRecord(const std::wstring& arguments, const Context& context, bool requireMatch);
    long ChangeField(const std::wstring& arguments, const Context& context);
    long ReportObsoleteDocuments(const std::wstring& arguments, const Context& context);

    // Puts the record's fields in for #FIELD and the variables for $VARIABLE.
    std::wstring Substitute(const std::wstring& text, const CWorkspace::Record& record) const;
    bool Expand(const std::wstring& text, const Context& context, std::wstring& expanded);
    bool SaveDatabase();

    struct Entry {
        const wchar_t* name;
        long (CClientCommands::*handler)(const std::wstring&, const Context&);
    };
    static const Entry kCommands[];

    CWorkspace& m_workspace;
    const CExpressionEvaluator& m_evaluator;
    CConsoleUser& m_user;
};
