// Open, key maintenance, document set-up and new drawings against a real VectaSim.
#include "SimDocumentTest.h"
#include "documents/CNewDocument.h"
#include "documents/COpenDocument.h"
#include <gmock/gmock.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr char kKeyedDrawing[] = "VECTA DRAWING 1\nKEY=Q-1\nREF=A1\nREF=A2\nTITLE.DESCRIPTION=Bracket\n";

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class DocumentOperationsTest : public SimDocumentTest {
protected:
    HRESULT Open(const std::wstring& path, int readOnly) {
        const CDocumentContext context = SimContext();
        return COpenDocument(context).Open(path, readOnly);
    }
    // The database says the drawing's references A1 and A2 now carry B1 and B2.
    void KeysReplaced() {
        client->answers[L"#(DTY:CONTAINERKEY)"] = L"Q-1";
        client->answers[L"@(where \"db=Folder_All_Document\" \"QELKEY=Q-1\" #(OLD_DOC_QELKEY))"] = L"Q-0";
        client->commands[L"___ForAllRela"] = [](FakeCallback& self, const std::wstring&) {
            self.environment[L"QelKeyPairList"] = L"A2 B2|A1 B1|";
            return 0L;
        };
    }
};

TEST_F(DocumentOperationsTest, ReuseOrReopenByReadOnlyState) {
    StartSim(L"Reuse");
    const std::wstring path = Drawing(L"reuse.vdr", kKeyedDrawing);
    ASSERT_EQ(Open(path, 0), S_OK);
    ASSERT_EQ(Open(path, 0), S_OK);
    ASSERT_EQ(Open(path, 1), S_OK);

    // Read-write open, re-use by activation, then the host is asked again for read-only.
    const std::string trace = Trace();
    EXPECT_EQ(Occurrences(trace, "Documents.Open("), 2u);
    EXPECT_THAT(trace, HasSubstr("Documents.Open(\"" + Narrow(path) + "\", i4:0, i4:0) = 00000000"));
    EXPECT_THAT(trace, HasSubstr("Documents.Open(\"" + Narrow(path) + "\", i4:1, i4:0) = 00000000"));
    EXPECT_EQ(Occurrences(trace, "Document[reuse.vdr].Activate() = 00000000"), 1u);
    EXPECT_LT(trace.find("i4:0, i4:0"), trace.find(".Activate()"));
    EXPECT_LT(trace.find(".Activate()"), trace.find("i4:1, i4:0"));
}

TEST_F(DocumentOperationsTest, OldReferenceKeysAreReplacedAndTheDrawingSaved) {
    StartSim(L"Keys");
    KeysReplaced();
    const std::wstring path = Drawing(L"keys.vdr", kKeyedDrawing);
    ASSERT_EQ(Open(path, 0), S_OK);

    const std::string content = ReadAll(path);
    EXPECT_THAT(content, HasSubstr("REF=B1\n"));
    EXPECT_THAT(content, HasSubstr("REF=B2\n"));
    EXPECT_THAT(Trace(), HasSubstr("Command.Run(\"QELDChangeTitleKey A2 B2\")"));
    EXPECT_EQ(client->Calls().size(), 6u);  // two list clears, the collection, three key clears
}

TEST_F(DocumentOperationsTest, AReadOnlyDrawingIsNeverChanged) {
    StartSim(L"KeysReadOnly");
    KeysReplaced();
    const std::wstring path = Drawing(L"keysro.vdr", kKeyedDrawing);
    ASSERT_EQ(Open(path, 1), S_OK);
    EXPECT_EQ(ReadAll(path), kKeyedDrawing);
    EXPECT_THAT(Trace(), Not(HasSubstr("QELDChangeTitleKey")));
}

TEST_F(DocumentOperationsTest, SetUpChoosesTheAddInByReleaseAndLoadsTheLispFile) {
    StartSim(L"SetUp", "{}", L"/version 17.20");
    const std::wstring workspace = CSimProcess::WorkFolder() + L"\\";
    WriteAll(workspace + L"qel.lsp", "(princ)\n");
    client->answers[L"$(WSPATH:/+)"] = workspace;
    client->answers[L"#(FindFile \"qel.vor\" \"#(Appl:SearchPath)\" :/)"] = L"C:\\c\\qel.vor";
    client->answers[L"#(DTY:CONTAINERKEY)"] = L"Q-1";
    ASSERT_EQ(Open(Drawing(L"setup.vdr", kKeyedDrawing), 0), S_OK);

    const std::string trace = Trace();
    EXPECT_THAT(trace, HasSubstr("Application.GetInterfaceObject(\"Derudir.VntApplication2x.1\") = 00000000"));
    EXPECT_THAT(trace, HasSubstr("AddIn.SetCAICallback(object) = 00000000"));
    EXPECT_THAT(trace, HasSubstr("AddIn.SetSymbol(\"QELKEY\", \"Q-1\") = 00000000"));
    EXPECT_THAT(trace, HasSubstr("Command.LoadLisp(\"" + Narrow(workspace) + "qel.lsp\", found)"));
}

TEST_F(DocumentOperationsTest, PartFileWithoutAnOpenDrawingUsesOneTemporaryDrawing) {
    StartSim(L"PartFile");
    const std::wstring templatePath = Drawing(L"part.dwt", "VECTA DRAWING 1\nTITLE.DESCRIPTION=Part\n");
    const std::wstring fileName = InWorkFolder(L"newpart.vdr");
    client->answers[L"#(FILE_TYPE)"] = L"PX";
    const CDocumentContext context = SimContext();
    ASSERT_EQ(CNewDocument::Create(context, fileName, templatePath), S_OK);

    EXPECT_THAT(ReadAll(fileName), HasSubstr("PARTFILE=1\n"));
    EXPECT_EQ(DocumentCount(), 1);
    const std::string trace = Trace();
    EXPECT_EQ(Occurrences(trace, "Documents.Add("), 2u);
    EXPECT_EQ(Occurrences(trace, ".Close(i4:0, missing) = 00000000"), 1u);
}

TEST_F(DocumentOperationsTest, AFailingSaveAsLeavesTheNewDrawingOpenAndSetUp) {
    StartSim(L"SaveFails", R"({"saveFails": true})");
    const std::wstring templatePath = Drawing(L"plain.dwt", "VECTA DRAWING 1\n");
    const CDocumentContext context = SimContext();
    EXPECT_EQ(CNewDocument::Create(context, InWorkFolder(L"unsaved.vdr"), templatePath), E_FAIL);
    EXPECT_EQ(DocumentCount(), 1);
    EXPECT_THAT(Trace(), HasSubstr("AddIn.SetSymbol(\"ApplTemplatePath\""));
}

}  // namespace
