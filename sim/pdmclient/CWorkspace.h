#pragma once
#include <nlohmann/json.hpp>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The client's world, read from one JSON file: settings, environment variables, message
// texts, the search path and the document database. Database changes are written back to the
// file at once; environment variables live for the session only.
//
// Text values may use %WORKSPACE% (the workspace file's folder) and %NAME% for variables of
// the process environment; they are expanded when read, and written back unexpanded.
class CWorkspace {
public:
    // A database record: a document, or a reference seen through its child document.
    struct Record {
        size_t document = 0;
        std::optional<size_t> reference;
    };

    static constexpr const wchar_t* kDocumentTable = L"Folder_All_Document";
    static constexpr const wchar_t* kReferenceTable = L"Folder_xref_Child_Document";

    // False with "<file>:<line>:<column>: <reason>" or "<file>: <json pointer>: <reason>".
    bool Load(const std::wstring& path, std::wstring& error);
    bool LoadText(const std::string& utf8, const std::wstring& path, std::wstring& error);
    bool Save(std::wstring& error) const;

    const std::wstring& Path() const noexcept { return m_path; }
    std::wstring Folder() const;

    std::optional<std::wstring> Setting(const std::wstring& group, const std::wstring& name) const;
    std::optional<std::wstring> Variable(const std::wstring& name) const;
    // An empty value removes the variable.
    void SetVariable(const std::wstring& name, const std::wstring& value);
    std::optional<std::wstring> Message(const std::wstring& key) const;
    std::vector<std::wstring> SearchFolders() const;
    // "jobServer": true, or caiclient --unattended: JobServerRunning answers 1 (unless the
    // workspace's environment sets it) and #(=isJobServer()) TRUE.
    bool IsJobServer() const noexcept { return m_jobServer; }
    void RunAsJobServer();

    // Tables by name (case-insensitive); false for an unknown table.
    bool Table(const std::wstring& name, std::vector<Record>& records) const;
    // Missing fields give nothing; null or blank fields give an empty text and isNull true.
    std::optional<std::wstring> Field(const Record& record, const std::wstring& name, bool* isNull = nullptr) const;
    bool HasField(const Record& record, const std::wstring& name) const;
    // Changes the record in memory; Save() writes it.
    void SetField(const Record& record, const std::wstring& name, const std::wstring& value);
    std::vector<Record> ChildrenOf(const Record& parent) const;

    std::optional<Record> CurrentDocument() const;
    bool SetCurrentDocument(const std::wstring& key);
    std::optional<Record> FindDocument(const std::wstring& key) const;

private:
    bool Validate(std::wstring& error);
    std::wstring Expand(const std::string& utf8) const;
    std::wstring ValueText(const nlohmann::json& value) const;
    const nlohmann::json& DocumentJson(const Record& record) const;

    struct NoCaseLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };

    std::wstring m_path;
    nlohmann::json m_json;
    std::map<std::wstring, std::wstring, NoCaseLess> m_variables;
    std::optional<size_t> m_current;
    bool m_jobServer = false;
};
