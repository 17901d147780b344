#include "CExpressionEvaluator.h"
#include "CRecordCondition.h"
#include "TextCodec.h"
#include <windows.h>
#include <algorithm>
#include <cwctype>

namespace {

// Why an expression could not be evaluated; caught by Evaluate and answered with "!".
struct EvaluationFailure {
    std::wstring reason;
};

constexpr const wchar_t* kWriteRightField = L"WRITE_RIGHT";
constexpr const wchar_t* kFileField = L"FILE";

bool IsExpressionStart(const std::wstring& text, size_t i) {
    return i + 1 < text.size() && (text[i] == L'#' || text[i] == L'$' || text[i] == L'@') && text[i + 1] == L'(';
}

// Index of the ")" that closes the "(" at open; parentheses inside double quotes do not count.
size_t MatchClose(const std::wstring& text, size_t open) {
    int depth = 0;
    bool quoted = false;
    for (size_t i = open; i < text.size(); ++i) {
        if (text[i] == L'"') quoted = !quoted;
        if (quoted) continue;
        if (text[i] == L'(') ++depth;
        if (text[i] == L')' && --depth == 0) return i;
    }
    return std::wstring::npos;
}

// "Name:shape" → name and shape (without the colon).
std::pair<std::wstring, std::wstring> SplitShape(const std::wstring& nameAndShape) {
    const size_t colon = nameAndShape.find(L':');
    if (colon == std::wstring::npos) return {TextCodec::Trim(nameAndShape), L""};
    return {TextCodec::Trim(nameAndShape.substr(0, colon)), nameAndShape.substr(colon + 1)};
}

std::wstring ApplyShape(std::wstring value, const std::wstring& shape) {
    if (shape.empty()) return value;
    if (shape[0] == L'-') return value.empty() ? shape.substr(1) : value;
    if ((shape[0] != L'/' && shape[0] != L'|') || shape.size() > 2 || (shape.size() == 2 && shape[1] != L'+' && shape[1] != L'-'))
        throw EvaluationFailure{L"unknown format \":" + shape + L"\""};
    const wchar_t separator = shape[0] == L'/' ? L'/' : L'\\';
    std::replace_if(value.begin(), value.end(), [](wchar_t c) { return c == L'/' || c == L'\\'; }, separator);
    if (shape.size() == 2 && shape[1] == L'+' && !value.empty() && value.back() != separator) value += separator;
    if (shape.size() == 2 && shape[1] == L'-')
        while (!value.empty() && value.back() == separator) value.pop_back();
    return value;
}

std::wstring NormalisedPath(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    return path;
}

}  // namespace

std::wstring CExpressionEvaluator::Evaluate(const std::wstring& text, const std::optional<CWorkspace::Record>& record) const {
    std::wstring value, reason;
    return TryEvaluate(text, record, value, reason) ? value : L"!" + reason;
}

bool CExpressionEvaluator::TryEvaluate(const std::wstring& text, const std::optional<CWorkspace::Record>& record,
                                       std::wstring& value, std::wstring& reason) const {
    try {
        value = Expand(text, record);
        return true;
    } catch (const EvaluationFailure& failure) {
        reason = failure.reason;
        return false;
    }
}

bool CExpressionEvaluator::Select(const std::wstring& table, const std::wstring& condition,
                                  std::vector<CWorkspace::Record>& records, std::wstring& error) const {
    records.clear();
    std::vector<CWorkspace::Record> all;
    if (!m_workspace.Table(table, all)) {
        error = L"unknown table \"" + table + L"\"";
        return false;
    }
    CRecordCondition parsed;
    if (!parsed.Parse(condition, error)) return false;
    std::copy_if(all.begin(), all.end(), std::back_inserter(records),
                 [&](const CWorkspace::Record& r) { return parsed.Matches(m_workspace, r); });
    return true;
}

std::wstring CExpressionEvaluator::Expand(const std::wstring& text, const Context& context) const {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        if (!IsExpressionStart(text, i)) {
            out += text[i++];
            continue;
        }
        const size_t close = MatchClose(text, i + 1);
        if (close == std::wstring::npos) throw EvaluationFailure{L"missing \")\" in \"" + text.substr(i) + L"\""};
        out += EvaluateOne(text[i], text.substr(i + 2, close - i - 2), context);
        i = close + 1;
    }
    return out;
}

std::wstring CExpressionEvaluator::EvaluateOne(wchar_t kind, const std::wstring& rawBody, const Context& context) const {
    const std::wstring body = TextCodec::Trim(rawBody);
    if (kind == L'$') return Variable(body);
    const size_t blank = body.find_first_of(L" \t");
    const std::wstring word = body.substr(0, blank);
    const std::wstring rest = blank == std::wstring::npos ? L"" : body.substr(blank + 1);
    if (TextCodec::StartsWith(body, L"Appl:")) return Setting(L"Appl", body.substr(5));
    if (TextCodec::StartsWith(body, L"DTY:")) return Setting(L"DTY", body.substr(4));
    if (kind == L'#') {
        if (TextCodec::StartsWith(body, L"=")) return Function(body.substr(1), context);
        if (word == L"FindFile") return FindFile(Tokenize(rest), context);
        return Field(body, context);
    }
    if (TextCodec::EqualsNoCase(word, L"where")) return Where(Tokenize(rest), context);
    if (TextCodec::EqualsNoCase(word, L"QELKEYfromPath")) return QelkeyFromPath(Tokenize(rest), context);
    throw EvaluationFailure{L"unknown query \"@(" + body + L")\""};
}

CWorkspace::Record CExpressionEvaluator::RecordOf(const Context& context) const {
    if (context) return *context;
    if (const auto current = m_workspace.CurrentDocument()) return *current;
    throw EvaluationFailure{L"no current document"};
}

std::wstring CExpressionEvaluator::Field(const std::wstring& nameAndShape, const Context& context) const {
    const auto [name, shape] = SplitShape(nameAndShape);
    const CWorkspace::Record record = RecordOf(context);
    const std::optional<std::wstring> value = m_workspace.Field(record, name);
    if (!value && !TextCodec::StartsWith(shape, L"-")) {
        const std::wstring key = m_workspace.Field(record, L"QELKEY").value_or(L"?");
        throw EvaluationFailure{L"the record " + key + L" has no field " + name};
    }
    return ApplyShape(value.value_or(L""), shape);
}

std::wstring CExpressionEvaluator::Setting(const std::wstring& group, const std::wstring& nameAndShape) const {
    const auto [name, shape] = SplitShape(nameAndShape);
    const std::optional<std::wstring> value = m_workspace.Setting(group, name);
    if (!value && !TextCodec::StartsWith(shape, L"-")) throw EvaluationFailure{L"no setting " + group + L":" + name};
    return ApplyShape(value.value_or(L""), shape);
}

std::wstring CExpressionEvaluator::Variable(const std::wstring& nameAndShape) const {
    const auto [name, shape] = SplitShape(nameAndShape);
    if (name.empty()) throw EvaluationFailure{L"a variable needs a name"};
    return ApplyShape(m_workspace.Variable(name).value_or(L""), shape);
}

std::wstring CExpressionEvaluator::Function(const std::wstring& call, const Context& context) const {
    const size_t open = call.find(L'(');
    if (open == std::wstring::npos || call.back() != L')')
        throw EvaluationFailure{L"\"=" + call + L"\" is not a function call"};
    const std::wstring name = TextCodec::Trim(call.substr(0, open));
    const std::vector<Token> args = Tokenize(call.substr(open + 1, call.size() - open - 2));
    if (name == L"isJobServer" && args.empty()) return m_workspace.IsJobServer() ? L"TRUE" : L"FALSE";
    if (name == L"crdynamic" && args.size() == 1 && args[0].kind == Token::Kind::Quoted) {
        const std::wstring right = Expand(args[0].text, context);
        if (right != L"W") throw EvaluationFailure{L"crdynamic knows only the right \"W\", not \"" + right + L"\""};
        const CWorkspace::Record record = RecordOf(context);
        return TextCodec::IsYes(m_workspace.Field(record, kWriteRightField).value_or(L"")) ? L"TRUE" : L"FALSE";
    }
    throw EvaluationFailure{L"unknown function \"" + call + L"\""};
}

std::wstring CExpressionEvaluator::FindFile(const std::vector<Token>& args, const Context& context) const {
    if (args.size() < 2 || args.size() > 3 || args[0].kind != Token::Kind::Quoted || args[1].kind != Token::Kind::Quoted)
        throw EvaluationFailure{L"FindFile needs \"name\" \"folders\" [options]"};
    std::wstring shape;
    if (args.size() == 3) {
        if (args[2].text != L":|" && args[2].text != L":/")
            throw EvaluationFailure{L"unknown FindFile option \"" + args[2].text + L"\""};
        shape = args[2].text.substr(1);
    }
    const std::wstring name = Expand(args[0].text, context);
    const std::wstring folders = Expand(args[1].text, context);
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(L';', start);
        if (end == std::wstring::npos) end = folders.size();
        std::wstring folder = TextCodec::Trim(folders.substr(start, end - start));
        start = end + 1;
        if (folder.empty()) continue;
        if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
        const std::wstring candidate = folder + name;
        const DWORD attributes = GetFileAttributesW(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return ApplyShape(candidate, shape);
    }
    return {};
}

std::wstring CExpressionEvaluator::Where(const std::vector<Token>& args, const Context& context) const {
    const bool hasTable = args.size() == 3;
    if ((args.size() != 2 && !hasTable) || args[args.size() - 2].kind != Token::Kind::Quoted ||
        args.back().kind != Token::Kind::Expression)
        throw EvaluationFailure{L"where needs [\"db=Table\"] \"condition\" #(expression)"};
    std::wstring table = CWorkspace::kDocumentTable;
    if (hasTable) {
        const std::wstring db = Expand(args[0].text, context);
        if (args[0].kind != Token::Kind::Quoted || !TextCodec::StartsWith(db, L"db="))
            throw EvaluationFailure{L"where expects \"db=Table\", not \"" + db + L"\""};
        table = db.substr(3);
    }
    const std::wstring condition = Expand(args[args.size() - 2].text, context);
    std::vector<CWorkspace::Record> records;
    std::wstring error;
    if (!Select(table, condition, records, error)) throw EvaluationFailure{error};
    if (records.empty()) throw EvaluationFailure{L"no record in " + table + L" where " + condition};
    return Expand(args.back().text, records.front());
}

std::wstring CExpressionEvaluator::QelkeyFromPath(const std::vector<Token>& args, const Context& context) const {
    if (args.size() != 1 || args[0].kind != Token::Kind::Quoted)
        throw EvaluationFailure{L"QELKEYfromPath needs one \"path\""};
    const std::wstring path = NormalisedPath(Expand(args[0].text, context));
    std::vector<CWorkspace::Record> documents;
    m_workspace.Table(CWorkspace::kDocumentTable, documents);
    for (const CWorkspace::Record& document : documents)
        if (NormalisedPath(m_workspace.Field(document, kFileField).value_or(L"")) == path)
            return m_workspace.Field(document, L"QELKEY").value_or(L"");
    return {};
}

std::vector<CExpressionEvaluator::Token> CExpressionEvaluator::Tokenize(const std::wstring& text) const {
    std::vector<Token> tokens;
    for (size_t i = 0; i < text.size();) {
        if (std::iswspace(text[i])) {
            ++i;
        } else if (text[i] == L'"') {
            const size_t close = text.find(L'"', i + 1);
            if (close == std::wstring::npos) throw EvaluationFailure{L"missing closing quote in " + text.substr(i)};
            tokens.push_back({Token::Kind::Quoted, text.substr(i + 1, close - i - 1)});
            i = close + 1;
        } else if (IsExpressionStart(text, i)) {
            const size_t close = MatchClose(text, i + 1);
            if (close == std::wstring::npos) throw EvaluationFailure{L"missing \")\" in \"" + text.substr(i) + L"\""};
            tokens.push_back({Token::Kind::Expression, text.substr(i, close - i + 1)});
            i = close + 1;
        } else {
            size_t end = i;
            while (end < text.size() && !std::iswspace(text[end])) ++end;
            tokens.push_back({Token::Kind::Word, text.substr(i, end - i)});
            i = end;
        }
    }
    return tokens;
}
