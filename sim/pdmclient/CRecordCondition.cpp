#include "CRecordCondition.h"
#include "TextCodec.h"
#include <cwctype>

namespace {

// Splits at " AND " (any case, outside single quotes).
std::vector<std::wstring> SplitAnd(const std::wstring& text) {
    std::vector<std::wstring> parts;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\'') quoted = !quoted;
        if (!quoted && i > 0 && std::iswspace(text[i - 1]) && i + 4 <= text.size() &&
            TextCodec::EqualsNoCase(text.substr(i, 3), L"AND") && std::iswspace(text[i + 3])) {
            parts.push_back(text.substr(start, i - start));
            start = i + 3;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::wstring Unquote(const std::wstring& value) {
    if (value.size() >= 2 && value.front() == L'\'' && value.back() == L'\'') return value.substr(1, value.size() - 2);
    return value;
}

bool IsFieldName(const std::wstring& name) {
    if (name.empty()) return false;
    for (wchar_t c : name)
        if (!std::iswalnum(c) && c != L'_') return false;
    return true;
}

}  // namespace

bool CRecordCondition::Parse(const std::wstring& text, std::wstring& error) {
    m_clauses.clear();
    for (const std::wstring& raw : SplitAnd(text)) {
        const std::wstring part = TextCodec::Trim(raw);
        Clause clause;
        const size_t op = part.find_first_of(L"=<!");
        if (op != std::wstring::npos) {
            size_t valueStart = op + 1;
            if (part.compare(op, 2, L"<>") == 0 || part.compare(op, 2, L"!=") == 0) {
                clause.test = Test::NotEqual;
                valueStart = op + 2;
            } else if (part[op] != L'=') {
                error = L"cannot read the condition \"" + part + L"\"";
                return false;
            }
            clause.field = TextCodec::Trim(part.substr(0, op));
            clause.value = Unquote(TextCodec::Trim(part.substr(valueStart)));
        } else {
            const size_t is = part.find(L' ');
            const std::wstring rest = is == std::wstring::npos ? L"" : TextCodec::Trim(part.substr(is));
            clause.field = part.substr(0, is);
            if (TextCodec::EqualsNoCase(rest, L"IS NULL")) {
                clause.test = Test::IsNull;
            } else if (TextCodec::EqualsNoCase(rest, L"IS NOT NULL")) {
                clause.test = Test::IsNotNull;
            } else {
                error = L"cannot read the condition \"" + part + L"\" (expected FIELD=value or FIELD IS [NOT] NULL)";
                return false;
            }
        }
        if (!IsFieldName(clause.field)) {
            error = L"\"" + clause.field + L"\" is not a field name in the condition \"" + part + L"\"";
            return false;
        }
        m_clauses.push_back(std::move(clause));
    }
    return true;
}

bool CRecordCondition::Matches(const CWorkspace& workspace, const CWorkspace::Record& record) const {
    for (const Clause& clause : m_clauses) {
        bool isNull = true;
        const std::wstring value = workspace.Field(record, clause.field, &isNull).value_or(L"");
        switch (clause.test) {
            case Test::Equal: if (isNull || value != clause.value) return false; break;
            case Test::NotEqual: if (isNull || value == clause.value) return false; break;
            case Test::IsNull: if (!isNull) return false; break;
            case Test::IsNotNull: if (isNull) return false; break;
        }
    }
    return true;
}
