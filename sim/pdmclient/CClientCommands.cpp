#include "CClientCommands.h"
#include "TextCodec.h"
#include "support/UniqueHandle.h"
#include <shellapi.h>
#include <cwctype>
#include <vector>

namespace {

constexpr const wchar_t* kCaptionKey = L"VX16003";
constexpr const wchar_t* kObsoleteHeaderKey = L"CAI0001";
constexpr const wchar_t* kObsoleteQuestionKey = L"CAI0002";
constexpr const wchar_t* kObsoleteField = L"OBSOLETE";

bool IsNameStart(wchar_t c) { return std::iswalpha(c) || c == L'_'; }
bool IsNameChar(wchar_t c) { return std::iswalnum(c) || c == L'_'; }

// The first blank-separated word and the rest, trimmed.
std::pair<std::wstring, std::wstring> SplitWord(const std::wstring& text) {
    const std::wstring trimmed = TextCodec::Trim(text);
    const size_t blank = trimmed.find_first_of(L" \t");
    if (blank == std::wstring::npos) return {trimmed, L""};
    return {trimmed.substr(0, blank), TextCodec::Trim(trimmed.substr(blank + 1))};
}

// Texts in single quotes and the words between them ("'a b' -utf8" → a b, -utf8).
bool SplitQuoted(const std::wstring& text, std::vector<std::wstring>& quoted, std::vector<std::wstring>& words) {
    for (size_t i = 0; i < text.size();) {
        if (std::iswspace(text[i])) {
            ++i;
        } else if (text[i] == L'\'') {
            const size_t close = text.find(L'\'', i + 1);
            if (close == std::wstring::npos) return false;
            quoted.push_back(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = i;
            while (end < text.size() && !std::iswspace(text[end])) ++end;
            words.push_back(text.substr(i, end - i));
            i = end;
        }
    }
    return true;
}

}  // namespace

const CClientCommands::Entry CClientCommands::kCommands[] = {
    {L"___Environment", &CClientCommands::Environment},
    {L"___Shell", &CClientCommands::Shell},
    {L"___Prepare", &CClientCommands::Prepare},
    {L"___ForRela", &CClientCommands::ForRela},
    {L"___ForAllRela", &CClientCommands::ForAllRela},
    {L"___ChangeField", &CClientCommands::ChangeField},
    {L"m_ReportObsoleteDocuments", &CClientCommands::ReportObsoleteDocuments},
};

HRESULT CClientCommands::Run(const std::wstring& command, const std::wstring& arguments, long& result) {
    return RunOn(command, arguments, std::nullopt, result);
}

HRESULT CClientCommands::RunOn(const std::wstring& command, const std::wstring& arguments, const Context& context,
                               long& result) {
    for (const Entry& entry : kCommands)
        if (TextCodec::EqualsNoCase(command, entry.name)) {
            result = (this->*entry.handler)(arguments, context);
            return S_OK;
        }
    m_user.Warn(L"unknown client command \"" + command + L"\"");
    result = 1;
    return E_NOTIMPL;
}

std::wstring CClientCommands::MessageText(const std::wstring& key) const {
    const std::optional<std::wstring> text = m_workspace.Message(key);
    if (!text) return key;
    std::wstring value, reason;
    return m_evaluator.TryEvaluate(*text, std::nullopt, value, reason) ? value : *text;
}

std::wstring CClientCommands::Caption() const { return MessageText(kCaptionKey); }

bool CClientCommands::Expand(const std::wstring& text, const Context& context, std::wstring& expanded) {
    std::wstring reason;
    if (m_evaluator.TryEvaluate(text, context, expanded, reason)) return true;
    m_user.Warn(L"cannot evaluate \"" + text + L"\": " + reason);
    return false;
}

bool CClientCommands::SaveDatabase() {
    std::wstring error;
    if (m_workspace.Save(error)) return true;
    m_user.Warn(L"the database change is not saved: " + error);
    return false;
}

long CClientCommands::Environment(const std::wstring& arguments, const Context&) {
    const size_t equals = arguments.find(L'=');
    const std::wstring name = TextCodec::Trim(arguments.substr(0, equals));
    if (equals == std::wstring::npos || name.empty()) {
        m_user.Warn(L"___Environment needs NAME=value, not \"" + arguments + L"\"");
        return 1;
    }
    m_workspace.SetVariable(name, arguments.substr(equals + 1));
    return 0;
}

long CClientCommands::Shell(const std::wstring& arguments, const Context& context) {
    std::wstring expanded;
    if (!Expand(arguments, context, expanded)) return 1;
    const std::wstring text = TextCodec::Trim(expanded);
    static const std::wstring prefix = L"Shellexecute(";
    const bool shaped = text.size() > prefix.size() && TextCodec::EqualsNoCase(text.substr(0, prefix.size()), prefix) &&
                        text.back() == L')';
    std::vector<std::wstring> quoted, words;
    if (!shaped || !SplitQuoted(text.substr(prefix.size(), text.size() - prefix.size() - 1), quoted, words) ||
        words.size() != 1 || quoted.empty() || quoted.size() > 3) {
        m_user.Warn(L"___Shell needs Shellexecute(verb 'file' 'parameters' 'folder' ), not \"" + text + L"\"");
        return 1;
    }
    quoted.resize(3);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = words[0].c_str();
    info.lpFile = quoted[0].c_str();
    info.lpParameters = quoted[1].empty() ? nullptr : quoted[1].c_str();
    info.lpDirectory = quoted[2].empty() ? nullptr : quoted[2].c_str();
    info.nShow = SW_SHOWNORMAL;
    // Wine's ShellExecuteEx leaves the caller in lpDirectory; the component's log belongs in
    // this client's own working directory, so it is put back.
    wchar_t workingDirectory[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, workingDirectory);
    const BOOL started = ShellExecuteExW(&info);
    const DWORD error = GetLastError();
    if (length > 0 && length < MAX_PATH) SetCurrentDirectoryW(workingDirectory);
    if (!started) {
        m_user.Warn(L"cannot start " + quoted[0] + L": " + TextCodec::ErrorText(error));
        return 1;
    }
    const UniqueHandle process(info.hProcess);
    const DWORD id = process.valid() ? GetProcessId(process.get()) : 0;
    m_user.Note(L"started " + quoted[0] + (quoted[1].empty() ? L"" : L" " + quoted[1]) +
                (id ? L" (process " + std::to_wstring(id) + L")" : L""));
    return 0;
}

long CClientCommands::Prepare(const std::wstring& arguments, const Context& context) {
    std::wstring expanded;
    if (!Expand(arguments, context, expanded)) return 1;
    std::vector<std::wstring> files, options;
    if (!SplitQuoted(expanded, files, options) || files.size() != 2) {
        m_user.Warn(L"___Prepare needs 'source' 'target' [-utf8|-utf16|-ansi], not \"" + expanded + L"\"");
        return 1;
    }
    std::string bytes;
    std::wstring error;
    if (!TextCodec::ReadFileBytes(files[0], bytes, error)) {
        m_user.Warn(L"cannot read " + files[0] + L": " + error);
        return 1;
    }
    std::wstring content;
    if (!Expand(TextCodec::Decode(bytes), context, content)) return 1;
    std::wstring encoding = L"ANSI";
    for (const std::wstring& option : options) {
        if (option == L"-utf8") encoding = L"UTF-8";
        else if (option == L"-utf16") encoding = L"UTF-16";
        else if (option != L"-ansi") {
            m_user.Warn(L"___Prepare: unknown option " + option);
            return 1;
        }
    }
    std::string out;
    if (encoding == L"UTF-8") {
        out = TextCodec::ToUtf8(content);
    } else if (encoding == L"UTF-16") {
        out = "\xFF\xFE";
        out.append(reinterpret_cast<const char*>(content.data()), content.size() * sizeof(wchar_t));
    } else {
        out = TextCodec::ToAnsi(content);
    }
    if (!TextCodec::WriteFileAtomically(files[1], out, error)) {
        m_user.Warn(error);
        return 1;
    }
    m_user.Note(L"prepared " + files[1] + L" from " + files[0] + L" (" + encoding + L")");
    return 0;
}

long CClientCommands::ForRela(const std::wstring& arguments, const Context& context) {
    return ForEachRecord(arguments, context, true);
}

long CClientCommands::ForAllRela(const std::wstring& arguments, const Context& context) {
    return ForEachRecord(arguments, context, false);
}

long CClientCommands::ForEachRecord(const std::wstring& arguments, const Context& context, bool requireMatch) {
    const auto [db, afterTable] = SplitWord(arguments);
    std::wstring condition, command;
    if (!afterTable.empty() && afterTable[0] == L'"') {
        const size_t close = afterTable.find(L'"', 1);
        if (close != std::wstring::npos) {
            condition = afterTable.substr(1, close - 1);
            command = TextCodec::Trim(afterTable.substr(close + 1));
        }
    } else {
        std::tie(condition, command) = SplitWord(afterTable);
    }
    if (db.compare(0, 3, L"db=") != 0 || condition.empty() || command.empty()) {
        m_user.Warn(L"expected db=Table \"condition\" command..., not \"" + arguments + L"\"");
        return 1;
    }
    std::wstring expandedCondition, error;
    if (!Expand(condition, context, expandedCondition)) return 1;
    std::vector<CWorkspace::Record> records;
    if (!m_evaluator.Select(db.substr(3), expandedCondition, records, error)) {
        m_user.Warn(error);
        return 1;
    }
    if (records.empty() && requireMatch) {
        m_user.Warn(L"no record in " + db.substr(3) + L" where " + expandedCondition);
        return 1;
    }
    long outcome = 0;
    for (const CWorkspace::Record& record : records) {
        const auto [name, rest] = SplitWord(Substitute(command, record));
        long result = 0;
        RunOn(name, rest, record, result);
        if (result != 0 && outcome == 0) outcome = result;
    }
    return outcome;
}

long CClientCommands::ChangeField(const std::wstring& arguments, const Context& context) {
    std::wstring assignment = TextCodec::Trim(arguments);
    if (assignment.size() >= 2 && assignment.front() == L'\'' && assignment.back() == L'\'')
        assignment = assignment.substr(1, assignment.size() - 2);
    const size_t equals = assignment.find(L'=');
    const std::wstring field = TextCodec::Trim(assignment.substr(0, equals));
    if (!context || equals == std::wstring::npos || field.empty()) {
        m_user.Warn(context ? L"___ChangeField needs 'FIELD=value', not \"" + arguments + L"\""
                            : std::wstring(L"___ChangeField works only on the records of ___ForRela or ___ForAllRela"));
        return 1;
    }
    const std::wstring value = assignment.substr(equals + 1);
    m_workspace.SetField(*context, field, value);
    m_user.Note(L"record " + m_workspace.Field(*context, L"QELKEY").value_or(L"?") + L": " + field + L" = '" + value + L"'");
    return SaveDatabase() ? 0 : 1;
}

long CClientCommands::ReportObsoleteDocuments(const std::wstring&, const Context& context) {
    const std::optional<CWorkspace::Record> current = context ? context : m_workspace.CurrentDocument();
    if (!current) {
        m_user.Warn(L"m_ReportObsoleteDocuments: no current document");
        return 1;
    }
    std::vector<CWorkspace::Record> candidates{*current};
    for (const CWorkspace::Record& child : m_workspace.ChildrenOf(*current)) candidates.push_back(child);
    std::wstring list;
    for (const CWorkspace::Record& record : candidates)
        if (TextCodec::IsYes(m_workspace.Field(record, kObsoleteField).value_or(L"")))
            list += L"\n  " + m_workspace.Field(record, L"QELKEY").value_or(L"") + L"  " +
                    m_workspace.Field(record, L"FILE").value_or(L"");
    if (list.empty()) {
        m_user.Note(L"no obsolete documents");
        return 0;
    }
    m_user.Show(Caption(), MessageText(kObsoleteHeaderKey) + list);
    return m_user.Ask(Caption(), MessageText(kObsoleteQuestionKey), true) ? 0 : 1;
}

std::wstring CClientCommands::Substitute(const std::wstring& text, const CWorkspace::Record& record) const {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        const wchar_t c = text[i];
        if ((c == L'#' || c == L'$') && i + 1 < text.size() && IsNameStart(text[i + 1])) {
            size_t end = i + 1;
            while (end < text.size() && IsNameChar(text[end])) ++end;
            const std::wstring name = text.substr(i + 1, end - i - 1);
            out += c == L'#' ? m_workspace.Field(record, name).value_or(L"") : m_workspace.Variable(name).value_or(L"");
            i = end;
        } else {
            out += text[i++];
        }
    }
    return out;
}
