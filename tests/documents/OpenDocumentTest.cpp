#include "documents/COpenDocument.h"
#include "documents/CTimedOpen.h"
#include "runtime/CHostCallApartment.h"
#include "fakes/DocumentFixture.h"
#include "fakes/FakeVectaDocument.h"
#include "fakes/LogReader.h"
#include <gmock/gmock.h>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

class OpenDocumentTest : public DocumentFixture {
protected:
    HRESULT Open(const std::wstring& path, int readOnly) {
        const CDocumentContext context = Context();
        return COpenDocument(context).Open(path, readOnly);
    }
};

TEST_F(OpenDocumentTest, AnOpenDrawingIsReusedOnlyInTheSameReadOnlyState) {
    const struct {
        const wchar_t* name;
        bool openReadOnly;
        int requested;
        const wchar_t* hostCall;
    } rows[] = {
        {L"read-write for QELDOPEN", false, 0, L"Activate(a.dwg)"},
        {L"read-write for QELDOPENREADONLY", false, 1, L"Open(\"C:\\w\\a.dwg\", i4:1, i4:0)"},
        {L"read-only for QELDOPENREADONLY", true, 1, L"Activate(a.dwg)"},
        {L"read-only for QELDOPEN", true, 0, L"Open(\"C:\\w\\a.dwg\", i4:0, i4:0)"},
        {L"any other flag never matches", false, 2, L"Open(\"C:\\w\\a.dwg\", i4:2, i4:0)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        host.documents.clear();
        host.journal.clear();
        host.AddOpen(L"C:\\w\\a.dwg", row.openReadOnly);
        host.active = nullptr;

        EXPECT_EQ(Open(L"C:\\w\\a.dwg", row.requested), S_OK);
        ASSERT_FALSE(host.journal.empty());
        EXPECT_EQ(host.journal.front(), row.hostCall);
    }
}

TEST_F(OpenDocumentTest, FullNamesMatchIgnoringCaseButNothingElse) {
    const struct {
        const wchar_t* requested;
        bool reused;
    } rows[] = {
        {L"C:\\w\\a.dwg", true},
        {L"c:\\W\\A.DWG", true},
        {L"C:/w/a.dwg", false},
        {L"C:\\w\\.\\a.dwg", false},
        {L"C:\\w\\a.dwg ", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.requested)));
        host.documents.clear();
        host.AddOpen(L"C:\\w\\a.dwg", false);
        ComPtr<IVectaDocuments> documents;
        ASSERT_EQ(host.App()->get_Documents(documents.put()), S_OK);
        ComPtr<IVectaDocument> found;
        EXPECT_EQ(COpenDocument::FindOpenDocument(documents.get(), row.requested, 0, found), S_OK);
        EXPECT_EQ(found.get() == host.documents[0].get(), row.reused);
    }
}

TEST_F(OpenDocumentTest, TheLowerIndexWins) {
    host.AddOpen(L"C:\\w\\b.dwg", false);
    FakeVectaDocument* first = host.AddOpen(L"C:\\w\\a.dwg", false);
    host.AddOpen(L"C:\\W\\A.dwg", false);
    host.active = nullptr;

    EXPECT_EQ(Open(L"C:\\w\\a.dwg", 0), S_OK);
    EXPECT_EQ(host.Active(), first);
    EXPECT_THAT(host.Entries(L"Activate"), ElementsAre(L"Activate(a.dwg)"));
    EXPECT_THAT(host.Entries(L"Open"), IsEmpty());
    EXPECT_THAT(Log(), Contains(L"Info: OpenDocument: Activate the already opened document."));
}

TEST_F(OpenDocumentTest, ASearchThatCannotReadTheCountOrAFlagOpensTheFile) {
    const struct {
        const wchar_t* name;
        bool countFails;
        bool flagFails;
    } rows[] = {{L"count", true, false}, {L"flag", false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        host.documents.clear();
        host.journal.clear();
        host.AddOpen(L"C:\\w\\a.dwg", false)->readOnlyResult = row.flagFails ? E_UNEXPECTED : S_OK;
        host.countResult = row.countFails ? E_UNEXPECTED : S_OK;
        ComPtr<IVectaDocuments> documents;
        ASSERT_EQ(host.App()->get_Documents(documents.put()), S_OK);
        ComPtr<IVectaDocument> found;
        EXPECT_EQ(COpenDocument::FindOpenDocument(documents.get(), L"C:\\w\\a.dwg", 0, found), E_UNEXPECTED);
        EXPECT_FALSE(found);
    }
}

TEST_F(OpenDocumentTest, OpensWithPathFlagAndPasswordThenSetsUpAndUpdatesKeys) {
    client->answers[L"#(DTY:CONTAINERKEY)"] = L"Q-1";
    EXPECT_EQ(Open(L"C:\\w\\a.dwg", 1), S_OK);

    EXPECT_THAT(host.journal, Contains(L"Open(\"C:\\w\\a.dwg\", i4:1, i4:0)"));
    EXPECT_THAT(host.journal, Contains(L"GetInterfaceObject(Derudir.VntApplication2.1)"));
    EXPECT_EQ(host.symbols.size(), 11u);
    EXPECT_THAT(Log(), Contains(L"Info: OpenDocument: Open document (Read-only: 1)"));
    EXPECT_THAT(Log(), Contains(L"Info: UpdateDLQelkeys: Don't update QELKEYs for DLs because document is opened "
                                L"read-only."));
}

TEST_F(OpenDocumentTest, TheKeyUpdateDecidesTheResult) {
    client->answers[L"#(DTY:CONTAINERKEY)"] = L"Q-1";
    client->answers[L"@(where \"db=Folder_All_Document\" \"QELKEY=Q-1\" #(OLD_DOC_QELKEY))"] = L"Q-0";
    client->commands[L"___ForAllRela"] = [](FakeCallback& self, const std::wstring&) {
        self.environment[L"QelKeyPairList"] = L"A1 B1|";
        return 0L;
    };
    sendResult = E_ACCESSDENIED;
    host.AddOpen(L"C:\\w\\a.dwg", false);

    EXPECT_EQ(Open(L"C:\\w\\a.dwg", 0), E_ACCESSDENIED);
    EXPECT_THAT(sent, ElementsAre(std::make_pair(std::wstring(L"QELDChangeTitleKey A1 B1 "), 1)));
}

TEST_F(OpenDocumentTest, DrawingListsShowTheirTitle) {
    const struct {
        const wchar_t* fileType;
        const wchar_t* key;
        HRESULT expected;  // E_ACCESSDENIED: the send's answer, so the title command went out
    } rows[] = {{L"DL", L"Q-77", E_ACCESSDENIED}, {L"DLA", L"Q-77", E_ACCESSDENIED}, {L"dl", L"Q-77", S_OK},
                {L"DLX", L"Q-77", S_OK},          {L"", L"Q-77", S_OK},               {L"Dl", L"Q-77", S_OK},
                // A key from the database that would type a second command is never sent; the
                // drawing is open all the same.
                {L"DL", L"Q-77 LINE", S_OK}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.fileType) + L"/" + row.key));
        sent.clear();
        client->answers[L"#(FILE_TYPE)"] = row.fileType;
        client->answers[L"#(QELKEY)"] = row.key;
        sendResult = E_ACCESSDENIED;

        EXPECT_EQ(Open(L"C:\\w\\a.dwg", 0), row.expected);
        if (row.expected == E_ACCESSDENIED)
            EXPECT_THAT(sent, ElementsAre(std::make_pair(L"QELDSHOWTITLE " + std::wstring(row.key) + L" ", 1)));
        else
            EXPECT_THAT(sent, IsEmpty());
    }
    EXPECT_THAT(Log(), Contains(HasSubstr(L"Error: OpenDocument: Refused QELKEY 'Q-77 LINE'")));
}

TEST_F(OpenDocumentTest, AFailedOpenThatStillGivesADocumentGoesOn) {
    host.openResult = E_ACCESSDENIED;
    EXPECT_EQ(Open(L"C:\\w\\a.dwg", 0), S_OK);
    EXPECT_THAT(Log(), Contains(L"Error: OpenDocument: IVectaDocuments->Open() failed (hr = 80070005)"));
    EXPECT_EQ(host.symbols.size(), 11u);
}

TEST_F(OpenDocumentTest, AnOpenWithoutDocumentIsAFailureEvenWhenTheHostSaysSuccess) {
    const struct {
        const wchar_t* name;
        HRESULT openResult;
        HRESULT expected;
        const wchar_t* entry;
    } rows[] = {
        {L"refused", STG_E_FILENOTFOUND, STG_E_FILENOTFOUND,
         L"Error: OpenDocument: IVectaDocuments->Open() failed (hr = 80030002)"},
        {L"success without document", S_OK, E_FAIL,
         L"Error: OpenDocument: IVectaDocuments->Open() returned no document (hr = 80004005)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        LogReader::Remove();
        host.journal.clear();
        host.openResult = row.openResult;
        host.openReturnsDocument = false;
        EXPECT_EQ(Open(L"C:\\w\\a.dwg", 0), row.expected);
        EXPECT_THAT(Log(), ElementsAre(L"Info: OpenDocument: Open document (Read-only: 0)", row.entry));
        EXPECT_THAT(host.Entries(L"GetInterfaceObject"), IsEmpty());
    }
}

TEST_F(OpenDocumentTest, WithoutDocumentsCollectionNothingIsOpened) {
    host.documentsResult = E_OUTOFMEMORY;
    EXPECT_EQ(Open(L"C:\\w\\a.dwg", 0), E_OUTOFMEMORY);
    EXPECT_THAT(Log(), ElementsAre(L"Error: OpenDocument: IVectaApplication->get_Documents() failed (hr = 8007000E)"));
}

TEST_F(OpenDocumentTest, TheTimedOpenWithoutHostAnswersAtOnce) {
    CDocumentContext withoutHost = Context();
    withoutHost.application = nullptr;
    ComPtr<IVectaDocument> document;
    CHostCallApartment::Job job;
    EXPECT_EQ(CTimedOpen(withoutHost, job).Open(L"C:\\w\\a.dwg", document.put()), E_POINTER);
    EXPECT_FALSE(document);
    EXPECT_EQ(CHostCallApartment::Running(), 0);
    EXPECT_THAT(Log(), IsEmpty());
}

}  // namespace
