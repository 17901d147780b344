#include "client/CVantorApplication.h"
#include "documents/CNewDocument.h"
#include "documents/CTemplateDialog.h"
#include "fakes/DocumentFixture.h"
#include "fakes/FakeVectaDocument.h"
#include "fakes/LogReader.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// What the template dialog was shown with, and what the "user" answers.
struct DialogSeen {
    int shown = 0;
    std::wstring filter, defaultExtension, initialFolder, title, file;
    DWORD flags = 0;
    HWND owner = reinterpret_cast<HWND>(1);
    std::wstring answer;  // empty: Cancel
};
DialogSeen g_dialog;

BOOL WINAPI RecordDialog(OPENFILENAMEW* settings) {
    ++g_dialog.shown;
    const wchar_t* f = settings->lpstrFilter;
    while (*f) {  // pairs of NUL-ended texts, ended by an empty one
        g_dialog.filter += f;
        g_dialog.filter += L'|';
        f += wcslen(f) + 1;
    }
    g_dialog.filter += L'|';
    g_dialog.defaultExtension = settings->lpstrDefExt ? settings->lpstrDefExt : L"(null)";
    g_dialog.initialFolder = settings->lpstrInitialDir ? settings->lpstrInitialDir : L"(null)";
    g_dialog.title = settings->lpstrTitle ? settings->lpstrTitle : L"(null)";
    g_dialog.file = settings->lpstrFile;
    g_dialog.flags = settings->Flags;
    g_dialog.owner = settings->hwndOwner;
    if (g_dialog.answer.empty() || g_dialog.answer.size() >= settings->nMaxFile) return FALSE;
    wcscpy(settings->lpstrFile, g_dialog.answer.c_str());
    return TRUE;
}

BOOL WINAPI DialogMustNotBeShown(OPENFILENAMEW*) {
    ADD_FAILURE() << "the template dialog was shown";
    return FALSE;
}

class NewDocumentTest : public DocumentFixture {
protected:
    NewDocumentTest() {
        g_dialog = {};
        CTemplateDialog::SetDialogFunction(&RecordDialog);
        client->messages[L"VX16009"] = L"Choose a template";
    }
    ~NewDocumentTest() override { CTemplateDialog::SetDialogFunction(nullptr); }

    HRESULT Choose(const std::wstring& fileName, std::wstring& templatePath) {
        return CNewDocument::ChooseTemplate(CVantorApplication::Instance(), properties, fileName,
                                            [this] {
                                                ++hostFolderAsked;
                                                return std::wstring(L"C:\\HostTemplates");
                                            },
                                            templatePath);
    }
    HRESULT Create(const std::wstring& fileName, const std::wstring& templatePath) {
        const CDocumentContext context = Context();
        return CNewDocument::Create(context, fileName, templatePath);
    }
    void Write(const std::wstring& path) { TempFolder::WriteBytes(path, "VECTA DRAWING 1\n"); }

    int hostFolderAsked = 0;
};

TEST_F(NewDocumentTest, TemplateFromFolderAndName) {
    CreateDirectoryW(folder.File(L"T").c_str(), nullptr);
    Write(folder.File(L"T\\a.dwt"));
    Write(folder.File(L"a.dwt"));
    const struct {
        std::wstring folder;
        std::wstring expected;
    } rows[] = {
        {folder.File(L"T"), folder.File(L"T") + L"\\a.dwt"},
        {folder.File(L"T") + L"/", folder.File(L"T") + L"/a.dwt"},
        {folder.File(L"T") + L"\\", folder.File(L"T") + L"\\a.dwt"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.folder));
        LogReader::Remove();
        client->answers[L"#(Appl:TemplatePath)"] = row.folder;
        client->answers[L"#(DTY:Template0)"] = L"a.dwt";
        std::wstring chosen;
        EXPECT_EQ(Choose(folder.File(L"new.dwg"), chosen), S_OK);
        EXPECT_EQ(chosen, row.expected);
        EXPECT_THAT(Log(), ElementsAre(L"Info: NewDocument: Use template " + row.expected));
        EXPECT_EQ(g_dialog.shown, 0);
    }
}

TEST_F(NewDocumentTest, AnExplicitTemplateWinsAndAMissingOneLeadsToTheDialog) {
    Write(folder.File(L"a.dwt"));
    Write(folder.File(L"explicit.dwt"));
    client->answers[L"#(Appl:TemplatePath)"] = folder.Path();
    client->answers[L"#(DTY:Template0)"] = L"a.dwt";

    client->answers[L"#(DTY:QNewTemplate)"] = folder.File(L"explicit.dwt");
    std::wstring chosen;
    EXPECT_EQ(Choose(L"C:\\w\\new.dwg", chosen), S_OK);
    EXPECT_EQ(chosen, folder.File(L"explicit.dwt"));

    LogReader::Remove();
    client->answers[L"#(DTY:QNewTemplate)"] = folder.File(L"gone.dwt");
    g_dialog.answer = L"C:\\picked\\b.dwt";
    EXPECT_EQ(Choose(L"C:\\w\\new.dwg", chosen), S_OK);
    EXPECT_EQ(chosen, L"C:\\picked\\b.dwt");
    EXPECT_EQ(g_dialog.shown, 1);
    EXPECT_THAT(Log(), ElementsAre(L"Info: NewDocument: The specified template " + folder.File(L"gone.dwt") +
                                   L" does not exist"));
}

TEST_F(NewDocumentTest, TheDialogIsShownWithTheProductSettings) {
    client->answers[L"#(Appl:TemplatePath)"] = folder.Path();
    client->answers[L"#(DTY:Template0)"] = L"missing.dwt";
    g_dialog.answer = L"C:\\picked\\b.dwt";
    std::wstring chosen;
    EXPECT_EQ(Choose(L"C:\\w\\new.dwg", chosen), S_OK);

    EXPECT_EQ(g_dialog.filter, L"Drawing Templates (*.dwt)|*.dwt|Drawing (*.dwg)|*.dwg|Standards (*.dws)|*.dws||");
    EXPECT_EQ(g_dialog.defaultExtension, L"*.dwt");
    EXPECT_EQ(g_dialog.flags, 0x20980Cu);
    EXPECT_EQ(g_dialog.initialFolder, folder.Path() + L"\\");
    EXPECT_EQ(g_dialog.title, L"Choose a template");
    EXPECT_EQ(g_dialog.file, L"");
    EXPECT_EQ(g_dialog.owner, nullptr);
    EXPECT_EQ(hostFolderAsked, 0);
}

TEST_F(NewDocumentTest, AnEmptyOrMissingFolderFallsBackToTheHostProfile) {
    const struct {
        const wchar_t* name;
        std::wstring folder;
    } rows[] = {{L"empty", L""}, {L"missing", folder.File(L"nowhere")}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        hostFolderAsked = 0;
        client->answers[L"#(Appl:TemplatePath)"] = row.folder;
        std::wstring chosen = L"stale";
        EXPECT_EQ(Choose(L"C:\\w\\new.dwg", chosen), E_FAIL);
        EXPECT_EQ(chosen, L"");
        EXPECT_EQ(hostFolderAsked, 1);
        EXPECT_EQ(g_dialog.initialFolder, L"C:\\HostTemplates");
    }
}

TEST_F(NewDocumentTest, ACancelledDialogFailsWithoutFurtherEntry) {
    std::wstring chosen;
    EXPECT_EQ(Choose(L"C:\\w\\new.dwg", chosen), E_FAIL);
    EXPECT_THAT(Log(), ElementsAre(L"Info: NewDocument: The specified template  does not exist"));
}

// Under the job server nobody could answer the dialog: the command fails at once instead.
TEST_F(NewDocumentTest, QuietModeFailsWithoutDialogWhenTheTemplateCannotBeRead) {
    CTemplateDialog::SetDialogFunction(&DialogMustNotBeShown);
    CUtils::Instance().SetQuiet(true);
    Write(L"a.dwt");
    const std::pair<std::wstring, std::wstring> rows[] = {
        {folder.File(L"gone.dwt"), L""},
        {L"", L""},
        // Vecta would look for a relative one in its own working folder, not in the client's.
        {L"a.dwt", L"Error: NewDocument: Refused path 'a.dwt': not an absolute path"},
    };
    for (const auto& [missing, refused] : rows) {
        SCOPED_TRACE(testing::PrintToString(missing));
        LogReader::Remove();
        client->answers[L"#(DTY:QNewTemplate)"] = missing;
        std::wstring chosen = L"stale";
        EXPECT_EQ(Choose(L"C:\\w\\new.dwg", chosen), E_FAIL);
        EXPECT_EQ(chosen, L"");
        EXPECT_EQ(hostFolderAsked, 0);
        std::vector<std::wstring> expected{L"Info: NewDocument: The specified template " + missing + L" does not exist",
                                           L"Error: NewDocument: Template '" + missing +
                                               L"' cannot be read and quiet mode shows no dialog"};
        if (!refused.empty()) expected.insert(expected.begin(), refused);
        EXPECT_EQ(Log(), expected);
    }
}

// Its library is loaded on the first dialog and kept: under Wine each load of it leaves a
// mutex behind.
TEST_F(NewDocumentTest, HeadlessTheRealDialogBehavesLikeCancel) {
    CTemplateDialog::SetDialogFunction(nullptr);
    for (int dialog = 0; dialog < 2; ++dialog) {
        std::wstring chosen;
        EXPECT_EQ(Choose(L"C:\\w\\new.dwg", chosen), E_FAIL);
        EXPECT_NE(GetModuleHandleW(L"comdlg32.dll"), nullptr);
    }
}

TEST_F(NewDocumentTest, AnEmptyFileNameFailsBeforeAnyTemplateValueIsRead) {
    std::wstring chosen;
    EXPECT_EQ(Choose(L"", chosen), E_FAIL);
    EXPECT_THAT(client->records, IsEmpty());
    EXPECT_THAT(Log(), ElementsAre(L"Error: NewDocument: No filename specified"));
}

TEST_F(NewDocumentTest, CreatesInitialisesAndSavesTheNewDrawing) {
    EXPECT_EQ(Create(L"C:\\w\\new.dwg", L"C:\\T\\a.dwt"), S_OK);
    EXPECT_EQ(host.journal.front(), L"Add(\"C:\\T\\a.dwt\")");
    EXPECT_EQ(host.journal.back(), L"SaveAs(Drawing1.dwg, \"C:\\w\\new.dwg\", missing, missing)");
    EXPECT_EQ(host.symbols.size(), 11u);
    EXPECT_THAT(sent, IsEmpty());
    EXPECT_THAT(Log(), Contains(L"Info: NewDocument: Add document using template 'C:\\T\\a.dwt'"));
}

TEST_F(NewDocumentTest, PartFilesGetOneTemporaryDrawingOnlyWhenNoneIsOpen) {
    client->answers[L"#(FILE_TYPE)"] = L"PX";
    EXPECT_EQ(Create(L"C:\\w\\new.dwg", L"C:\\T\\a.dwt"), S_OK);
    EXPECT_THAT(host.Entries(L"Add"), ElementsAre(L"Add(\"C:\\T\\a.dwt\")", L"Add(\"C:\\T\\a.dwt\")"));
    EXPECT_THAT(sent, ElementsAre(std::make_pair(std::wstring(L"_mxpartonly "), 0)));
    // The temporary drawing got the command and is closed unsaved after the new one was added.
    const std::vector<std::wstring> expectedStart = {L"Add(\"C:\\T\\a.dwt\")", L"SendCommand(Drawing1.dwg, \"_mxpartonly \")",
                                                     L"Add(\"C:\\T\\a.dwt\")", L"Close(Drawing1.dwg, i4:0, missing)"};
    EXPECT_EQ(std::vector<std::wstring>(host.journal.begin(), host.journal.begin() + 4), expectedStart);
    ASSERT_EQ(host.documents.size(), 1u);
    EXPECT_EQ(host.documents[0]->name, L"Drawing2.dwg");
    EXPECT_THAT(Log(), Contains(L"Info: NewDocument: Tell QDT that a partfile should be created"));

    host.journal.clear();
    sent.clear();
    EXPECT_EQ(Create(L"C:\\w\\new2.dwg", L"C:\\T\\a.dwt"), S_OK);
    EXPECT_THAT(host.Entries(L"Add"), ElementsAre(L"Add(\"C:\\T\\a.dwt\")"));
    EXPECT_THAT(host.Entries(L"Close"), IsEmpty());
    EXPECT_THAT(sent, ElementsAre(std::make_pair(std::wstring(L"_mxpartonly "), 0)));
}

TEST_F(NewDocumentTest, OnlyExactlyPxIsAPartFile) {
    for (const wchar_t* type : {L"px", L"PXA", L""}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(type)));
        client->answers[L"#(FILE_TYPE)"] = type;
        EXPECT_EQ(Create(L"C:\\w\\new.dwg", L"C:\\T\\a.dwt"), S_OK);
        EXPECT_THAT(sent, IsEmpty());
    }
}

TEST_F(NewDocumentTest, AFailingSaveAsLeavesTheNewDrawingOpenAndInitialised) {
    host.saveAsResult = STG_E_ACCESSDENIED;
    EXPECT_EQ(Create(L"C:\\w\\new.dwg", L"C:\\T\\a.dwt"), STG_E_ACCESSDENIED);
    EXPECT_EQ(host.documents.size(), 1u);
    EXPECT_EQ(host.symbols.size(), 11u);
    EXPECT_THAT(Log(), Contains(L"Error: NewDocument: Failed to save document (hr = 80030005)"));
}

TEST_F(NewDocumentTest, AnAddWithoutDocumentIsAFailure) {
    const struct {
        const wchar_t* name;
        HRESULT addResult;
        bool returnsDocument;
        HRESULT expected;
    } rows[] = {
        {L"refused", E_ACCESSDENIED, false, E_ACCESSDENIED},
        {L"success without document", S_OK, false, E_FAIL},
        {L"failure with document", E_ACCESSDENIED, true, E_ACCESSDENIED},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        LogReader::Remove();
        host.journal.clear();
        host.addResult = row.addResult;
        host.addReturnsDocument = row.returnsDocument;
        EXPECT_EQ(Create(L"C:\\w\\new.dwg", L"C:\\T\\a.dwt"), row.expected);
        EXPECT_THAT(Log(), Contains(L"Error: NewDocument: Failed to add document (hr = " +
                                    std::wstring(row.expected == E_FAIL ? L"80004005" : L"80070005") + L")"));
        EXPECT_THAT(host.Entries(L"SaveAs"), IsEmpty());
        EXPECT_THAT(host.Entries(L"GetInterfaceObject"), IsEmpty());
    }
}

TEST_F(NewDocumentTest, WithoutDocumentsCollectionNothingIsAdded) {
    host.documentsResult = E_OUTOFMEMORY;
    EXPECT_EQ(Create(L"C:\\w\\new.dwg", L"C:\\T\\a.dwt"), E_OUTOFMEMORY);
    EXPECT_THAT(Log(), ElementsAre(L"Error: NewDocument: IVectaApplication->get_Documents() failed (hr = 8007000E)"));
}

}  // namespace
