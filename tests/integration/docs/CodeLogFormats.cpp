#include "CodeLogFormats.h"
#include "TextCodec.h"
#include <windows.h>
#include <cwchar>
#include <cwctype>
#include <filesystem>

namespace {

using Kind = CppTokens::Kind;

constexpr int kDepthLimit = 8;

// The SDK's codes the component's code may pass for a conversion.
#define NAMED(name) {L## #name, static_cast<long long>(name)}
const std::map<std::wstring, long long> kSdkValues = {
    NAMED(S_OK),          NAMED(S_FALSE),        NAMED(E_FAIL),          NAMED(E_NOINTERFACE),
    NAMED(E_POINTER),     NAMED(E_INVALIDARG),   NAMED(E_ACCESSDENIED),  NAMED(E_OUTOFMEMORY),
    NAMED(E_UNEXPECTED),  NAMED(E_NOTIMPL),      NAMED(E_ABORT),         NAMED(E_HANDLE),
    NAMED(CLASS_E_CLASSNOTAVAILABLE), NAMED(CLASS_E_NOAGGREGATION), NAMED(DISP_E_PARAMNOTFOUND),
    NAMED(ERROR_TIMEOUT), NAMED(ERROR_FILE_NOT_FOUND), NAMED(ERROR_PATH_NOT_FOUND), NAMED(ERROR_ACCESS_DENIED),
    NAMED(ERROR_NOT_ENOUGH_MEMORY), NAMED(ERROR_INSUFFICIENT_BUFFER), NAMED(ERROR_FILENAME_EXCED_RANGE),
    NAMED(ERROR_CANT_ACCESS_FILE), NAMED(ERROR_SHARING_VIOLATION), NAMED(ERROR_FILE_EXISTS), NAMED(ERROR_INVALID_NAME),
};
#undef NAMED

// Words before "(" that do not call a function.
const std::set<std::wstring> kNotCalls = {L"if", L"while", L"for", L"switch", L"return", L"sizeof",
                                          L"catch", L"decltype", L"noexcept", L"alignof", L"static_assert"};

std::wstring Text(const std::filesystem::path& path) {
    std::string bytes;
    std::wstring error;
    return TextCodec::ReadFileBytes(path.wstring(), bytes, error) ? TextCodec::FromUtf8(bytes) : std::wstring();
}

std::optional<long long> Number(const std::wstring& text) {
    if (text.empty() || text[0] == L'\'') return std::nullopt;
    wchar_t* end = nullptr;
    const long long value = static_cast<long long>(std::wcstoull(text.c_str(), &end, 0));
    for (; *end; ++end)
        if (!wcschr(L"uUlL", *end)) return std::nullopt;
    return value;
}

}  // namespace

CodeLogFormats::CodeLogFormats(const std::wstring& folder) {
    const std::filesystem::path root(folder);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::wstring extension = entry.path().extension().wstring();
        if (!entry.is_regular_file() || (extension != L".cpp" && extension != L".h")) continue;
        m_sources.push_back(std::make_unique<Source>(
            Source{std::filesystem::relative(entry.path(), root.parent_path()).generic_wstring(), CppTokens(Text(entry.path()))}));
    }
    for (const auto& source : m_sources) ReadConstants(*source);
    for (const auto& source : m_sources) ReadFormats(*source);
}

std::set<std::wstring> CodeLogFormats::Operations() const {
    std::set<std::wstring> operations;
    for (const LogFormat& format : m_formats)
        if (const std::wstring operation = format.Operation(); !operation.empty()) operations.insert(operation);
    return operations;
}

void CodeLogFormats::ReadConstants(const Source& source) {
    const CppTokens& t = source.tokens;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t.Is(i, L"#define") && i + 2 < t.size() && t[i + 1].kind == Kind::Identifier) {
            size_t end = i + 2;
            while (end < t.size() && !t.Is(end, L";")) ++end;
            m_constants.insert({t[i + 1].text, {&source, i + 2, end}});
            continue;
        }
        if (!t.Is(i, L"=") || i < 2) continue;
        // "constexpr T kName = …;" and "const T kName[] = …;"
        size_t name = i - 1;
        if (t.Is(name, L"]") && name >= 2 && t.Is(name - 1, L"[")) name -= 2;
        // Only names of constants ("kName", "HR_NAME"): a local "const HRESULT hr = …" is
        // found by its assignment before the call.
        const std::wstring& word = t[name].text;
        const bool constantName = (word.size() > 1 && word[0] == L'k' && std::iswupper(word[1])) ||
                                  word.find_first_of(L"abcdefghijklmnopqrstuvwxyz") == std::wstring::npos;
        if (t[name].kind != Kind::Identifier || !constantName) continue;
        bool constant = false;
        for (size_t back = name; back-- > 0 && name - back <= 6 && !t.Is(back, L";") && !t.Is(back, L"{") &&
                                 !t.Is(back, L"}") && !t.Is(back, L"(");)
            constant = constant || t[back].text == L"constexpr" || t[back].text == L"const";
        if (!constant) continue;
        const auto value = t.Split(i + 1, t.size(), {L";", L","}).front();
        m_constants.insert({t[name].text, {&source, value.first, value.second}});
    }
}

void CodeLogFormats::ReadFormats(const Source& source) {
    const CppTokens& t = source.tokens;
    // Every bracket, outer ones first, so that a format takes its literals before the
    // brackets inside it are read on their own.
    std::vector<std::pair<size_t, size_t>> frames = {{0, t.size()}};
    for (size_t i = 0; i < t.size(); ++i)
        if ((t.Is(i, L"(") || t.Is(i, L"{") || t.Is(i, L"[")) && t.Closing(i) < t.size()) frames.emplace_back(i, t.Closing(i));
    for (const auto& [open, close] : frames) {
        const bool whole = open == 0 && close == t.size();
        const bool call = !whole && t.Is(open, L"(") && open > 0 && t[open - 1].kind == Kind::Identifier &&
                          !kNotCalls.count(t[open - 1].text);
        const size_t begin = whole ? 0 : open + 1;
        const auto arguments = call ? t.Split(begin, close, {L","}) : t.Split(begin, close, {L",", L";"});
        for (size_t k = 0; k < arguments.size(); ++k) {
            for (const auto& [from, to] :
                 t.Split(arguments[k].first, arguments[k].second, {L"?", L":", L"=", L"return"})) {
                std::vector<size_t> literals;
                std::optional<std::vector<LogFormat::Part>> parts = Chain(source, from, to, literals);
                if (!parts) continue;
                for (size_t literal : literals) m_used.insert({&source, literal});
                LogFormat format(std::move(*parts), source.name + L":" + std::to_wstring(t[literals.front()].line));
                if (!LogFormat::SaysSomething(format.Shown())) continue;
                if (call) {
                    // The further arguments fill the conversions in order, when they are as many.
                    std::vector<LogFormat::Part*> conversions;
                    for (LogFormat::Part& part : format.parts())
                        if (part.kind == LogFormat::Part::Kind::Conversion) conversions.push_back(&part);
                    if (!conversions.empty() && conversions.size() == arguments.size() - k - 1) {
                        for (size_t n = 0; n < conversions.size(); ++n) {
                            const auto& value = arguments[k + 1 + n];
                            if (const auto fixed = ValueOf(source, value.first, value.second, open, 0))
                                Fix(*conversions[n], *fixed);
                        }
                    }
                }
                m_formats.push_back(std::move(format));
            }
        }
    }
}

std::optional<std::vector<LogFormat::Part>> CodeLogFormats::Chain(const Source& source, size_t begin, size_t end,
                                                                  std::vector<size_t>& literals) const {
    const CppTokens& t = source.tokens;
    std::vector<LogFormat::Part> parts;
    bool text = false;
    for (auto [from, to] : t.Split(begin, end, {L"+"})) {
        // "(…).c_str()", "std::wstring(…)"
        if (to - from >= 4 && t.Is(to - 1, L")") && t.Is(to - 2, L"(") && t.Is(to - 4, L".")) to -= 4;
        if (to - from >= 5 && t[from].text == L"std" && t.Is(from + 1, L"::") && t.Is(from + 3, L"(") &&
            t.Closing(from + 3) == to - 1)
            from += 3;
        if (from == to) continue;
        if (t.Is(from, L"(") && t.Closing(from) == to - 1 && t.Split(from + 1, to - 1, {L"?"}).size() == 1) {
            if (auto inner = Chain(source, from + 1, to - 1, literals)) {
                parts.insert(parts.end(), inner->begin(), inner->end());
                text = true;
                continue;
            }
        }
        if (to - from == 1 && t[from].kind == Kind::Literal) {
            if (m_used.count({&source, from})) return std::nullopt;
            const auto literal = LogFormat::Parse(t[from].text);
            parts.insert(parts.end(), literal.begin(), literal.end());
            literals.push_back(from);
            text = true;
            continue;
        }
        if (t[to - 1].kind == Kind::Identifier && (to - from == 1 || t.Is(to - 2, L"::"))) {
            if (const auto constant = TextConstant(source, t[to - 1].text)) {
                const auto literal = LogFormat::Parse(*constant);
                parts.insert(parts.end(), literal.begin(), literal.end());
                continue;
            }
        }
        parts.push_back({LogFormat::Part::Kind::Open, 0, {}});
    }
    if (!text) return std::nullopt;
    return parts;
}

std::optional<std::wstring> CodeLogFormats::TextConstant(const Source& source, const std::wstring& name) const {
    const auto found = Named(source, name, source.tokens.size(), kDepthLimit - 1);
    return found && found->text ? found->text : std::nullopt;
}

std::optional<CodeLogFormats::Value> CodeLogFormats::ValueOf(const Source& source, size_t begin, size_t end,
                                                             size_t anchor, int depth) const {
    const CppTokens& t = source.tokens;
    if (depth >= kDepthLimit) return std::nullopt;
    while (end - begin >= 2 && t.Is(begin, L"(") && t.Closing(begin) == end - 1) ++begin, --end;
    if (begin >= end) return std::nullopt;
    if (end - begin == 1) {
        if (t[begin].kind == Kind::Literal) return Value{std::nullopt, t[begin].text};
        if (t[begin].kind == Kind::Number) {
            const auto number = Number(t[begin].text);
            return number ? std::optional<Value>(Value{number, std::nullopt}) : std::nullopt;
        }
        if (t[begin].kind == Kind::Identifier) return Named(source, t[begin].text, anchor, depth + 1);
        return std::nullopt;
    }
    if (t.Is(begin, L"-") && end - begin == 2 && t[begin + 1].kind == Kind::Number) {
        const auto number = Number(t[begin + 1].text);
        return number ? std::optional<Value>(Value{-*number, std::nullopt}) : std::nullopt;
    }
    if (end - begin == 3 && t.Is(begin + 1, L"::") && t[end - 1].kind == Kind::Identifier)
        return Named(source, t[end - 1].text, anchor, depth + 1);
    // HRESULT_FROM_WIN32(code), static_cast<T>(value)
    const size_t open = t[begin].text == L"static_cast" ? t.Split(begin, end, {L">"}).front().second + 1 : begin + 1;
    if (open < end && t.Is(open, L"(") && t.Closing(open) == end - 1) {
        const auto inner = ValueOf(source, open + 1, end - 1, anchor, depth + 1);
        if (!inner || !inner->number) return std::nullopt;
        if (t[begin].text == L"static_cast") return inner;
        if (t[begin].text == L"HRESULT_FROM_WIN32") {
            const long long code = *inner->number;
            return Value{code <= 0 ? code : static_cast<long long>((code & 0xFFFF) | 0x80070000), std::nullopt};
        }
    }
    return std::nullopt;
}

std::optional<CodeLogFormats::Value> CodeLogFormats::Named(const Source& source, const std::wstring& name,
                                                           size_t anchor, int depth) const {
    if (depth >= kDepthLimit) return std::nullopt;
    if (anchor < source.tokens.size()) {
        if (const auto assigned = Assigned(source, name, anchor, depth)) return assigned;
    }
    // The source's own constant first, then one of another source.
    const auto [first, last] = m_constants.equal_range(name);
    const Range* chosen = nullptr;
    for (auto it = first; it != last; ++it)
        if (!chosen || it->second.source == &source) chosen = &it->second;
    if (chosen)
        return ValueOf(*chosen->source, chosen->begin, chosen->end, chosen->source->tokens.size(), depth + 1);
    if (const auto sdk = kSdkValues.find(name); sdk != kSdkValues.end()) return Value{sdk->second, std::nullopt};
    return std::nullopt;
}

std::optional<CodeLogFormats::Value> CodeLogFormats::Assigned(const Source& source, const std::wstring& name,
                                                              size_t anchor, int depth) const {
    const CppTokens& t = source.tokens;
    int nesting = 0;
    for (size_t i = anchor; i-- > 0;) {
        if (t.Is(i, L"}")) {
            ++nesting;
        } else if (t.Is(i, L"{")) {
            if (nesting == 0) return std::nullopt;  // the start of the block
            --nesting;
        } else if (t[i].kind == Kind::Identifier && t[i].text == name && t.Is(i + 1, L"=")) {
            if (nesting > 0) return std::nullopt;  // assigned only on some path
            const auto value = t.Split(i + 2, t.size(), {L";"}).front();
            return ValueOf(source, value.first, value.second, i, depth + 1);
        }
    }
    return std::nullopt;
}

void CodeLogFormats::Fix(LogFormat::Part& conversion, const Value& value) {
    wchar_t text[32];
    if (conversion.c == L's') {
        if (value.text) conversion.value = *value.text;
        return;
    }
    if (!value.number) return;
    const auto number = static_cast<unsigned long>(*value.number & 0xFFFFFFFF);
    switch (conversion.c) {
        case L'X': swprintf(text, 32, L"%lX", number); break;
        case L'x': swprintf(text, 32, L"%lx", number); break;
        case L'u': swprintf(text, 32, L"%lu", number); break;
        default: swprintf(text, 32, L"%ld", static_cast<long>(number));
    }
    conversion.value = text;
}
