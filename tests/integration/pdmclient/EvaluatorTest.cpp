#include "ClientParts.h"
#include "SampleWorkspace.h"
#include "TextCodec.h"
#include <gtest/gtest.h>

namespace {

std::wstring Replace(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::wstring::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

std::wstring Slashed(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'\\') c = L'/';
    return path;
}

class EvaluatorTest : public testing::Test, protected ClientParts {
protected:
    void SetUp() override { LoadSample(root); }
    TempFolder root;
};

struct Row {
    const wchar_t* expression;
    const wchar_t* expected;  // "!..." : a failure whose reason contains the rest
    const char* why;
};

TEST_F(EvaluatorTest, AnswersEveryExpressionForm) {
    const Row rows[] = {
        {L"#(QELKEY)", L"1002", "field of the current record"},
        {L"#(FILE_TYPE)", L"DWG", "field of the current record"},
        {L"#(OLD_DOC_QELKEY)", L"0815", "field of the current record"},
        {L"#(NO_SUCH_FIELD)", L"!no field NO_SUCH_FIELD", "unknown field"},
        {L"#(Appl:Profile)", L"Standard", "application setting"},
        {L"#(Appl:WaitForStartup)", L"1500", "a number setting reads as text"},
        {L"#(Appl:Missing)", L"!no setting Appl:Missing", "unknown setting"},
        {L"#(Appl:Missing:-7)", L"7", "default shape of a missing setting"},
        {L"#(DTY:CONTAINERKEY)", L"1001", "document type setting"},
        {L"#(DTY:ReportObsoleteDocumentsOnOpen)", L"1", "document type setting"},
        {L"#(=isJobServer())", L"FALSE", "attended client"},
        {L"#(=crdynamic(\"W\"))", L"FALSE", "1002 has no write right"},
        {L"#(=crdynamic(\"X\"))", L"!crdynamic knows only", "unknown right"},
        {L"#(=frobnicate())", L"!unknown function", "unknown function"},
        {L"$(WSPATH:/+)", L"<WS/>/", "forward slashes and a trailing one"},
        {L"$(WSPATH:|-)", L"<WS>", "backslashes, no trailing one"},
        {L"$(WSPATH:|+)", L"<WS>\\", "backslashes and a trailing one"},
        {L"$(CAIPATH:|+)Tessaro\\common\\PSX\\Publish Options.xml", L"C:\\Fennory\\Tessaro\\common\\PSX\\Publish Options.xml",
         "shape, then literal text"},
        {L"$(CAICLIENTPATH:|+)ZEP\\x64\\", L"C:\\Fennory\\Client\\ZEP\\x64\\", "no second separator"},
        {L"$(JobServerRunning:-0)", L"0", "default of an unset variable"},
        {L"$(_VNTXVER)", L"530", "client version"},
        {L"$(NOT_SET)", L"", "unset variable is empty"},
        {L"$(WSPATH:%)", L"!unknown format", "unknown shape"},
        {L"@(where \"db=Folder_All_Document\" \"QELKEY=1003\" #(OLD_DOC_QELKEY))", L"0816", "query with table"},
        {L"@(Where \"db=Folder_All_Document\" \"QELKEY=1001\" #(=crdynamic(\"W\")))", L"TRUE",
         "capital Where, function on the found record"},
        {L"@(where \"QELKEY = #(DTY:CONTAINERKEY)\" #(FILE_TYPE))", L"DL", "nested expression in the condition"},
        {L"@(where \"db=Folder_All_Document\" \"QELKEY=1004\" #(OLD_DOC_QELKEY))", L"", "a blank field is null"},
        {L"@(where \"db=Folder_All_Document\" \"QELKEY=4711\" #(OLD_DOC_QELKEY))", L"!no record in Folder_All_Document",
         "no match"},
        {L"@(where \"db=Folder_Nothing\" \"QELKEY=1\" #(QELKEY))", L"!unknown table", "unknown table"},
        {L"@(where \"db=Folder_All_Document\" \"QELKEY\" #(QELKEY))", L"!cannot read the condition", "bad condition"},
        {L"@(where \"db=Folder_xref_Child_Document\" \"X_PARENT_QELKEY=1001 AND OLD_DOC_QELKEY IS NOT NULL\" #(QELKEY))",
         L"1002", "reference view with AND and IS NOT NULL"},
        {L"@(where \"db=Folder_xref_Child_Document\" \"X_PARENT_QELKEY=1001 AND OLD_DOC_QELKEY IS NULL\" #(QELKEY))",
         L"1004", "IS NULL finds the blank key"},
        {L"@(QELKEYfromPath \"<WS/>/B.VDR\")", L"1003", "path in other case and slashes, %WORKSPACE% expanded"},
        {L"@(QELKEYfromPath \"C:\\elsewhere.vdr\")", L"", "unmanaged path"},
        {L"@(Appl:ApplTemplatePath:/)", L"C:/Vecta/Templates", "setting query with shape"},
        {L"#(FindFile \"qel.vor\" \"#(Appl:SearchPath)\" :/)", L"<A/>/qel.vor", "first folder wins, forward slashes"},
        {L"#(FindFile \"vantor.mns\" \"#(Appl:SearchPath)\" :|)", L"<B>\\vantor.mns", "second folder, backslashes"},
        {L"#(FindFile \"vantor.mns\" \"#(Appl:SearchPath)\")", L"<B>\\vantor.mns", "without options"},
        {L"#(FindFile \"missing.txt\" \"#(Appl:SearchPath)\")", L"", "not found is empty"},
        {L"#(FindFile \"qel.vor\" \"#(Appl:SearchPath)\" :x)", L"!unknown FindFile option", "unknown option"},
        {L"#(FindFile \"qel.vor\")", L"!FindFile needs", "missing folders"},
        {L"Profile #(Appl:Profile), version $(_VNTXVER).", L"Profile Standard, version 530.", "text around expressions"},
        {L"#(QELKEY", L"!missing \")\"", "unbalanced"},
        {L"@(somequery \"x\")", L"!unknown query", "unknown query"},
        {L"", L"", "empty text"},
        {L"plain text", L"plain text", "no expression"},
    };
    const std::wstring ws = root.File(L"ws"), a = root.File(L"a"), b = root.File(L"b");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.why) + ": " + TextCodec::ToUtf8(row.expression));
        std::wstring expression = Replace(row.expression, L"<WS/>", Slashed(ws));
        std::wstring expected = Replace(Replace(row.expected, L"<WS/>", Slashed(ws)), L"<WS>", ws);
        expected = Replace(Replace(Replace(expected, L"<A/>", Slashed(a)), L"<A>", a), L"<B>", b);
        const std::wstring answer = evaluator.Evaluate(expression);
        if (!expected.empty() && expected[0] == L'!') {
            ASSERT_FALSE(answer.empty());
            EXPECT_EQ(answer[0], L'!') << TextCodec::ToUtf8(answer);
            EXPECT_NE(answer.find(expected.substr(1)), std::wstring::npos) << TextCodec::ToUtf8(answer);
        } else {
            EXPECT_EQ(TextCodec::ToUtf8(answer), TextCodec::ToUtf8(expected));
        }
    }
}

TEST_F(EvaluatorTest, FieldsComeFromTheGivenRecord) {
    const auto record = workspace.FindDocument(L"1003");
    ASSERT_TRUE(record);
    EXPECT_EQ(evaluator.Evaluate(L"#(QELKEY) #(OLD_DOC_QELKEY)", record), L"1003 0816");
}

TEST_F(EvaluatorTest, WithoutCurrentDocumentFieldsFail) {
    ASSERT_NO_FATAL_FAILURE(LoadJson(R"({"documents": [{"QELKEY": "1"}]})", root.File(L"w.json")));
    EXPECT_EQ(evaluator.Evaluate(L"#(QELKEY)"), L"!no current document");
}

TEST_F(EvaluatorTest, JobServerAnswers) {
    ASSERT_NO_FATAL_FAILURE(LoadJson(SampleWorkspaceJson(root, true), root.File(L"w.json")));
    EXPECT_EQ(evaluator.Evaluate(L"#(=isJobServer())"), L"TRUE");
    EXPECT_EQ(evaluator.Evaluate(L"$(JobServerRunning:-0)"), L"1");
}

TEST_F(EvaluatorTest, VariablesFollowTheEnvironmentCommand) {
    workspace.SetVariable(L"VX16_LASTPROFILE", L"Standard");
    EXPECT_EQ(evaluator.Evaluate(L"$(VX16_LASTPROFILE)"), L"Standard");
    EXPECT_EQ(evaluator.Evaluate(L"$(vx16_lastprofile)"), L"Standard") << "names are case-insensitive";
    workspace.SetVariable(L"VX16_LASTPROFILE", L"");
    EXPECT_EQ(evaluator.Evaluate(L"$(VX16_LASTPROFILE)"), L"");
}

}  // namespace
