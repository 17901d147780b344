#include "ClientParts.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include <gtest/gtest.h>

namespace {

TEST(WorkspaceTest, MalformedWorkspacesNameTheLineOrEntryAndTheReason) {
    struct Row {
        const char* json;
        const char* expected;  // part of the error after the file name
        const char* why;
    };
    const Row rows[] = {
        {"{\n  \"documents\": [\n    {\"QELKEY\": 1}\n    {\"QELKEY\": 2}\n  ]\n}\n", ":4:5: syntax error", "missing comma"},
        {"{\n  \"clientVersion\": 530,\n}\n", ":3:1: syntax error", "trailing comma"},
        {"", ":1:1: syntax error", "empty file"},
        {"[]", "the workspace must be a JSON object", "not an object"},
        {R"({"setings": {}})", "/setings: unknown entry", "misspelt entry"},
        {R"({"settings": {"Apl": {}}})", "/settings/Apl: unknown group", "misspelt group"},
        {R"({"settings": {"Appl": {"Profile": ["a"]}}})", "/settings/Appl/Profile: must be a text", "list as a setting"},
        {R"({"jobServer": "yes"})", "/jobServer: must be true or false", "text as a flag"},
        {R"({"searchPath": "C:\\x"})", "/searchPath: must be a list", "one folder without a list"},
        {R"({"documents": {}})", "/documents: must be a list", "object instead of list"},
        {R"({"documents": [{"FILE": "x"}]})", "/documents/0: a document record needs a QELKEY", "record without key"},
        {R"({"documents": [{"QELKEY": "1"}, {"QELKEY": 1}]})", "/documents/1: QELKEY 1 is used twice", "duplicate key"},
        {R"({"documents": [{"QELKEY": "1"}], "references": [{"parent": "1", "child": "9"}]})",
         "/references/0/child: must be the QELKEY of a document", "dangling reference"},
        {R"({"documents": [{"QELKEY": "1"}], "currentDocument": "2"})", "/currentDocument: must be the QELKEY",
         "unknown current document"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        CWorkspace workspace;
        std::wstring error;
        EXPECT_FALSE(workspace.LoadText(row.json, L"bad.json", error));
        const std::string text = TextCodec::ToUtf8(error);
        EXPECT_EQ(text.rfind("bad.json", 0), 0u) << text;
        EXPECT_NE(text.find(row.expected), std::string::npos) << text;
    }
}

TEST(WorkspaceTest, MissingFileIsAClearError) {
    CWorkspace workspace;
    std::wstring error;
    EXPECT_FALSE(workspace.Load(L"no-such-workspace.json", error));
    EXPECT_NE(error.find(L"no-such-workspace.json: cannot read the workspace file"), std::wstring::npos);
}

class SampleWorkspaceTest : public testing::Test, protected ClientParts {
protected:
    TempFolder root;
};

TEST_F(SampleWorkspaceTest, SaveReplacesTheFileAndKeepsPlaceholders) {
    ASSERT_NO_FATAL_FAILURE(LoadSample(root, L"w.json", true));
    std::wstring error;
    const auto record = workspace.FindDocument(L"1002");
    ASSERT_TRUE(record);
    workspace.SetField(*record, L"OLD_DOC_QELKEY", L" ");
    workspace.SetField(*record, L"NEW_FIELD", L"x");
    ASSERT_TRUE(workspace.Save(error)) << TextCodec::ToUtf8(error);

    EXPECT_FALSE(Exists(root, L"w.json.caiclient-tmp"));
    const std::string saved = Get(root, L"w.json");
    EXPECT_NE(saved.find("%WORKSPACE%\\\\b.vdr"), std::string::npos) << "placeholders are written back unexpanded";
    CWorkspace reloaded;
    ASSERT_TRUE(reloaded.Load(root.File(L"w.json"), error)) << TextCodec::ToUtf8(error);
    bool isNull = false;
    EXPECT_EQ(reloaded.Field(*reloaded.FindDocument(L"1002"), L"OLD_DOC_QELKEY", &isNull), L"");
    EXPECT_TRUE(isNull);
    EXPECT_EQ(reloaded.Field(*reloaded.FindDocument(L"1002"), L"NEW_FIELD"), L"x");
    EXPECT_EQ(reloaded.Field(*reloaded.FindDocument(L"1003"), L"FILE"), root.File(L"b.vdr"));
}

TEST_F(SampleWorkspaceTest, ReferenceViewJoinsTheChildDocument) {
    ASSERT_NO_FATAL_FAILURE(LoadSample(root, L"w.json"));
    std::vector<CWorkspace::Record> references;
    ASSERT_TRUE(workspace.Table(L"folder_xref_child_document", references));
    ASSERT_EQ(references.size(), 3u);
    EXPECT_EQ(workspace.Field(references[1], L"X_PARENT_QELKEY"), L"1001");
    EXPECT_EQ(workspace.Field(references[1], L"QELKEY"), L"1003");
    workspace.SetField(references[1], L"OLD_DOC_QELKEY", L"0900");
    EXPECT_EQ(workspace.Field(*workspace.FindDocument(L"1003"), L"OLD_DOC_QELKEY"), L"0900")
        << "a change through the view lands on the document";
}

}  // namespace
