#include "CWorkspace.h"
#include "TextCodec.h"
#include <windows.h>
#include <algorithm>
#include <set>

using nlohmann::json;

namespace {

constexpr const wchar_t* kParentField = L"X_PARENT_QELKEY";
constexpr const wchar_t* kChildField = L"X_CHILD_QELKEY";
constexpr const char* kKeyField = "QELKEY";

const std::set<std::string> kTopLevel = {"clientVersion", "jobServer",  "settings",  "environment",    "messages",
                                         "searchPath",    "documents",  "references", "currentDocument"};

bool IsScalar(const json& v) { return v.is_string() || v.is_number() || v.is_boolean() || v.is_null(); }

std::wstring Where(const std::wstring& pointer, const std::wstring& reason) { return pointer + L": " + reason; }

// "line L, column C" from a byte offset into the parsed text.
std::wstring Position(const std::string& text, size_t offset) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return std::to_wstring(line) + L":" + std::to_wstring(column);
}

// nlohmann's message without its "[json.exception...] parse error at line L, column C: " prefix.
std::string Reason(const std::string& what) {
    const size_t colon = what.find(": ");
    return colon == std::string::npos ? what : what.substr(colon + 2);
}

const json* FindNoCase(const json& object, const std::wstring& name) {
    if (!object.is_object()) return nullptr;
    for (auto it = object.begin(); it != object.end(); ++it)
        if (TextCodec::EqualsNoCase(TextCodec::FromUtf8(it.key()), name)) return &it.value();
    return nullptr;
}

}  // namespace

bool CWorkspace::NoCaseLess::operator()(const std::wstring& a, const std::wstring& b) const {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

bool CWorkspace::Load(const std::wstring& path, std::wstring& error) {
    std::string bytes;
    std::wstring reason;
    if (!TextCodec::ReadFileBytes(path, bytes, reason)) {
        error = path + L": cannot read the workspace file: " + reason;
        return false;
    }
    return LoadText(bytes, path, error);
}

bool CWorkspace::LoadText(const std::string& utf8, const std::wstring& path, std::wstring& error) {
    wchar_t full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
    m_path = n > 0 && n < std::size(full) ? std::wstring(full, n) : path;
    try {
        m_json = json::parse(utf8);
    } catch (const json::parse_error& e) {
        error = path + L":" + Position(utf8, e.byte > 0 ? e.byte - 1 : 0) + L": " + TextCodec::FromUtf8(Reason(e.what()));
        return false;
    }
    std::wstring reason;
    if (!Validate(reason)) {
        error = path + L": " + reason;
        return false;
    }
    m_variables.clear();
    if (const json* env = FindNoCase(m_json, L"environment"))
        for (auto it = env->begin(); it != env->end(); ++it)
            if (!it.value().is_null()) m_variables[TextCodec::FromUtf8(it.key())] = ValueText(it.value());
    if (const json* version = FindNoCase(m_json, L"clientVersion"); version && !m_variables.count(L"_VNTXVER"))
        m_variables[L"_VNTXVER"] = ValueText(*version);
    m_jobServer = false;
    if (m_json.value("jobServer", false)) RunAsJobServer();
    m_current.reset();
    if (const json* current = FindNoCase(m_json, L"currentDocument"); current && !current->is_null())
        SetCurrentDocument(ValueText(*current));
    return true;
}

bool CWorkspace::Validate(std::wstring& error) {
    if (!m_json.is_object()) {
        error = L"the workspace must be a JSON object";
        return false;
    }
    for (auto it = m_json.begin(); it != m_json.end(); ++it)
        if (!kTopLevel.count(it.key())) {
            error = Where(L"/" + TextCodec::FromUtf8(it.key()), L"unknown entry");
            return false;
        }
    const auto objectOfScalars = [&](const json& v, const std::wstring& pointer) {
        if (!v.is_object()) {
            error = Where(pointer, L"must be an object");
            return false;
        }
        for (auto it = v.begin(); it != v.end(); ++it)
            if (!IsScalar(it.value())) {
                error = Where(pointer + L"/" + TextCodec::FromUtf8(it.key()), L"must be a text, a number or true/false");
                return false;
            }
        return true;
    };
    if (m_json.contains("settings")) {
        const json& settings = m_json["settings"];
        if (!settings.is_object()) {
            error = Where(L"/settings", L"must be an object with \"Appl\" and \"DTY\"");
            return false;
        }
        for (auto it = settings.begin(); it != settings.end(); ++it) {
            if (it.key() != "Appl" && it.key() != "DTY") {
                error = Where(L"/settings/" + TextCodec::FromUtf8(it.key()), L"unknown group (use \"Appl\" or \"DTY\")");
                return false;
            }
            if (!objectOfScalars(it.value(), L"/settings/" + TextCodec::FromUtf8(it.key()))) return false;
        }
    }
    if (m_json.contains("environment") && !objectOfScalars(m_json["environment"], L"/environment")) return false;
    if (m_json.contains("messages") && !objectOfScalars(m_json["messages"], L"/messages")) return false;
    if (m_json.contains("jobServer") && !m_json["jobServer"].is_boolean()) {
        error = Where(L"/jobServer", L"must be true or false");
        return false;
    }
    if (m_json.contains("searchPath")) {
        const json& folders = m_json["searchPath"];
        if (!folders.is_array() || !std::all_of(folders.begin(), folders.end(), [](const json& f) { return f.is_string(); })) {
            error = Where(L"/searchPath", L"must be a list of folder names");
            return false;
        }
    }
    std::set<std::wstring> keys;
    if (m_json.contains("documents")) {
        const json& documents = m_json["documents"];
        if (!documents.is_array()) {
            error = Where(L"/documents", L"must be a list of document records");
            return false;
        }
        for (size_t i = 0; i < documents.size(); ++i) {
            const std::wstring pointer = L"/documents/" + std::to_wstring(i);
            if (!objectOfScalars(documents[i], pointer)) return false;
            if (!documents[i].contains(kKeyField) || documents[i][kKeyField].is_null() ||
                ValueText(documents[i][kKeyField]).empty()) {
                error = Where(pointer, L"a document record needs a QELKEY");
                return false;
            }
            if (!keys.insert(ValueText(documents[i][kKeyField])).second) {
                error = Where(pointer, L"QELKEY " + ValueText(documents[i][kKeyField]) + L" is used twice");
                return false;
            }
        }
    }
    if (m_json.contains("references")) {
        const json& references = m_json["references"];
        if (!references.is_array()) {
            error = Where(L"/references", L"must be a list of {\"parent\": key, \"child\": key}");
            return false;
        }
        for (size_t i = 0; i < references.size(); ++i) {
            const std::wstring pointer = L"/references/" + std::to_wstring(i);
            if (!objectOfScalars(references[i], pointer)) return false;
            for (const char* end : {"parent", "child"}) {
                if (!references[i].contains(end) || !keys.count(ValueText(references[i][end]))) {
                    error = Where(pointer + L"/" + TextCodec::FromUtf8(end), L"must be the QELKEY of a document record");
                    return false;
                }
            }
        }
    }
    if (m_json.contains("currentDocument") && !m_json["currentDocument"].is_null() &&
        !keys.count(ValueText(m_json["currentDocument"]))) {
        error = Where(L"/currentDocument", L"must be the QELKEY of a document record");
        return false;
    }
    return true;
}

bool CWorkspace::Save(std::wstring& error) const {
    return TextCodec::WriteFileAtomically(m_path, m_json.dump(2) + "\n", error);
}

std::wstring CWorkspace::Folder() const {
    const size_t slash = m_path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : m_path.substr(0, slash);
}

std::wstring CWorkspace::Expand(const std::string& utf8) const {
    std::wstring text = TextCodec::FromUtf8(utf8);
    static const std::wstring marker = L"%WORKSPACE%";
    for (size_t at = 0; (at = text.find(marker, at)) != std::wstring::npos;) {
        text.replace(at, marker.size(), Folder());
        at += Folder().size();
    }
    if (text.find(L'%') == std::wstring::npos) return text;
    const DWORD n = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (n == 0) return text;
    std::wstring expanded(n, L'\0');
    ExpandEnvironmentStringsW(text.c_str(), expanded.data(), n);
    expanded.resize(n - 1);
    return expanded;
}

std::wstring CWorkspace::ValueText(const json& value) const {
    if (value.is_string()) return Expand(value.get<std::string>());
    if (value.is_boolean()) return value.get<bool>() ? L"TRUE" : L"FALSE";
    if (value.is_null()) return {};
    return TextCodec::FromUtf8(value.dump());
}

std::optional<std::wstring> CWorkspace::Setting(const std::wstring& group, const std::wstring& name) const {
    if (const json* settings = FindNoCase(m_json, L"settings"))
        if (const json* values = FindNoCase(*settings, group))
            if (const json* value = FindNoCase(*values, name)) return ValueText(*value);
    if (group == L"Appl" && TextCodec::EqualsNoCase(name, L"SearchPath")) {
        std::wstring joined;
        for (const std::wstring& folder : SearchFolders()) joined += (joined.empty() ? L"" : L";") + folder;
        return joined;
    }
    return std::nullopt;
}

std::optional<std::wstring> CWorkspace::Variable(const std::wstring& name) const {
    const auto it = m_variables.find(name);
    if (it == m_variables.end()) return std::nullopt;
    return it->second;
}

void CWorkspace::SetVariable(const std::wstring& name, const std::wstring& value) {
    if (value.empty())
        m_variables.erase(name);
    else
        m_variables[name] = value;
}

std::optional<std::wstring> CWorkspace::Message(const std::wstring& key) const {
    if (const json* messages = FindNoCase(m_json, L"messages"))
        if (const json* text = FindNoCase(*messages, key)) return TextCodec::FromUtf8(text->is_string() ? text->get<std::string>() : text->dump());
    return std::nullopt;
}

std::vector<std::wstring> CWorkspace::SearchFolders() const {
    std::vector<std::wstring> folders;
    if (m_json.contains("searchPath"))
        for (const json& folder : m_json["searchPath"]) folders.push_back(ValueText(folder));
    return folders;
}

void CWorkspace::RunAsJobServer() {
    m_jobServer = true;
    if (!m_variables.count(L"JobServerRunning")) m_variables[L"JobServerRunning"] = L"1";
}

bool CWorkspace::Table(const std::wstring& name, std::vector<Record>& records) const {
    records.clear();
    if (TextCodec::EqualsNoCase(name, kDocumentTable)) {
        if (m_json.contains("documents"))
            for (size_t i = 0; i < m_json["documents"].size(); ++i) records.push_back({i, std::nullopt});
        return true;
    }
    if (TextCodec::EqualsNoCase(name, kReferenceTable)) {
        if (m_json.contains("references"))
            for (size_t i = 0; i < m_json["references"].size(); ++i)
                records.push_back({FindDocument(ValueText(m_json["references"][i]["child"]))->document, i});
        return true;
    }
    return false;
}

const json& CWorkspace::DocumentJson(const Record& record) const { return m_json["documents"][record.document]; }

bool CWorkspace::HasField(const Record& record, const std::wstring& name) const {
    if (record.reference && (name == kParentField || name == kChildField)) return true;
    return FindNoCase(DocumentJson(record), name) != nullptr;
}

std::optional<std::wstring> CWorkspace::Field(const Record& record, const std::wstring& name, bool* isNull) const {
    std::optional<std::wstring> text;
    if (record.reference && name == kParentField)
        text = ValueText(m_json["references"][*record.reference]["parent"]);
    else if (record.reference && name == kChildField)
        text = ValueText(m_json["references"][*record.reference]["child"]);
    else if (const json* value = FindNoCase(DocumentJson(record), name))
        text = ValueText(*value);
    if (text && text->find_first_not_of(L' ') == std::wstring::npos) text->clear();
    if (isNull) *isNull = !text || text->empty();
    return text;
}

void CWorkspace::SetField(const Record& record, const std::wstring& name, const std::wstring& value) {
    if (record.reference && (name == kParentField || name == kChildField)) {
        m_json["references"][*record.reference][name == kParentField ? "parent" : "child"] = TextCodec::ToUtf8(value);
        return;
    }
    json& document = m_json["documents"][record.document];
    for (auto it = document.begin(); it != document.end(); ++it)
        if (TextCodec::EqualsNoCase(TextCodec::FromUtf8(it.key()), name)) {
            it.value() = TextCodec::ToUtf8(value);
            return;
        }
    document[TextCodec::ToUtf8(name)] = TextCodec::ToUtf8(value);
}

std::vector<CWorkspace::Record> CWorkspace::ChildrenOf(const Record& parent) const {
    std::vector<Record> all, children;
    Table(kReferenceTable, all);
    const std::optional<std::wstring> key = Field({parent.document, std::nullopt}, L"QELKEY");
    for (const Record& r : all)
        if (Field(r, kParentField) == key) children.push_back(r);
    return children;
}

std::optional<CWorkspace::Record> CWorkspace::CurrentDocument() const {
    if (!m_current) return std::nullopt;
    return Record{*m_current, std::nullopt};
}

bool CWorkspace::SetCurrentDocument(const std::wstring& key) {
    const std::optional<Record> found = FindDocument(key);
    if (!found) return false;
    m_current = found->document;
    return true;
}

std::optional<CWorkspace::Record> CWorkspace::FindDocument(const std::wstring& key) const {
    if (!m_json.contains("documents")) return std::nullopt;
    const json& documents = m_json["documents"];
    for (size_t i = 0; i < documents.size(); ++i)
        if (documents[i].contains(kKeyField) && ValueText(documents[i][kKeyField]) == key) return Record{i, std::nullopt};
    return std::nullopt;
}
