#include "documents/CKeyMaintenance.h"
#include "fakes/DocumentFixture.h"
#include "fakes/FakeVectaDocument.h"
#include "fakes/LogReader.h"
#include <gmock/gmock.h>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

constexpr wchar_t kOldKeyOfDrawing[] = L"@(where \"db=Folder_All_Document\" \"QELKEY=Q-1\" #(OLD_DOC_QELKEY))";

std::wstring Clear(const std::wstring& key) {
    return L"db=Folder_All_Document QELKEY=" + key + L" ___ChangeField 'OLD_DOC_QELKEY= '";
}

class KeyMaintenanceTest : public DocumentFixture {
protected:
    KeyMaintenanceTest() {
        client->answers[L"#(DTY:CONTAINERKEY)"] = L"Q-1";
        client->answers[kOldKeyOfDrawing] = L"Q-0";
        // The client collects the pairs of the drawing's references into its environment.
        client->commands[L"___ForAllRela"] = [this](FakeCallback& self, const std::wstring&) {
            self.environment[L"QelKeyPairList"] = pairList;
            return 0L;
        };
        drawing = host.AddOpen(L"C:\\w\\a.dwg", false);
    }

    HRESULT Update() {
        const CDocumentContext context = Context();
        return CKeyMaintenance(context).UpdateDLQelkeys(drawing);
    }
    std::vector<std::wstring> Clears() const {
        std::vector<std::wstring> out;
        for (const auto& call : client->Calls())
            if (call.text == L"___ForRela") out.push_back(call.arguments);
        return out;
    }
    std::vector<std::wstring> SentLines() const {
        std::vector<std::wstring> out;
        for (const auto& [line, check] : sent) {
            EXPECT_EQ(check, 1);
            out.push_back(line);
        }
        return out;
    }

    std::wstring pairList;
    FakeVectaDocument* drawing;
};

TEST_F(KeyMaintenanceTest, PairListsGiveReplacementsSaveAndClears) {
    const struct {
        const wchar_t* name;
        const wchar_t* list;
        HRESULT sendResult;
        std::vector<std::wstring> lines;
        size_t saves;
        std::vector<std::wstring> clears;
        HRESULT expected;
    } rows[] = {
        {L"two items in list order", L"A1 B1|A2 B2|", S_OK,
         {L"QELDChangeTitleKey A1 B1 ", L"QELDChangeTitleKey A2 B2 "}, 1, {Clear(L"B1"), Clear(L"B2"), Clear(L"Q-1")}, S_OK},
        {L"an empty item is skipped", L"A1 B1||A2 B2|", S_OK,
         {L"QELDChangeTitleKey A1 B1 ", L"QELDChangeTitleKey A2 B2 "}, 1, {Clear(L"B1"), Clear(L"B2"), Clear(L"Q-1")}, S_OK},
        {L"a pair without closing bar", L"A1 B1", S_OK, {}, 0, {Clear(L"Q-1")}, S_OK},
        {L"text after the last bar", L"A1 B1|A2 B2", S_OK, {L"QELDChangeTitleKey A1 B1 "}, 1,
         {Clear(L"B1"), Clear(L"Q-1")}, S_OK},
        {L"every replacement fails", L"A1 B1|A2 B2|", E_ACCESSDENIED,
         {L"QELDChangeTitleKey A1 B1 ", L"QELDChangeTitleKey A2 B2 "}, 0, {Clear(L"Q-1")}, E_ACCESSDENIED},
        {L"an empty list", L"", S_OK, {}, 0, {Clear(L"Q-1")}, S_OK},
        // A key is an identifier: one that is not is never sent, the sound pairs still are.
        {L"a key holding a blank", L"A1 B1|A2 B2 LINE|A3 B3|", S_OK,
         {L"QELDChangeTitleKey A1 B1 ", L"QELDChangeTitleKey A3 B3 "}, 1, {Clear(L"B1"), Clear(L"B3"), Clear(L"Q-1")}, S_OK},
        {L"quotes, controls and expressions", L"A1 B\"1|A2 B'2|A3\r B3|A4 B4\x1b|A5 $(X)|A6 B6|", S_OK,
         {L"QELDChangeTitleKey A6 B6 "}, 1, {Clear(L"B6"), Clear(L"Q-1")}, S_OK},
        {L"only unsound keys", L"A1 B1\n|", S_OK, {}, 0, {Clear(L"Q-1")}, E_FAIL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        client->records.clear();
        host.journal.clear();
        sent.clear();
        pairList = row.list;
        sendResult = row.sendResult;

        EXPECT_EQ(Update(), row.expected);
        EXPECT_THAT(SentLines(), ElementsAreArray(row.lines));
        EXPECT_EQ(host.Entries(L"Save(").size(), row.saves);
        EXPECT_THAT(Clears(), ElementsAreArray(row.clears));
        // The shared list is cleared before the collection and after reading it.
        EXPECT_TRUE(client->environment.find(L"QelKeyPairList") == client->environment.end());
    }
}

TEST_F(KeyMaintenanceTest, TheSaveDecidesTheResultOnceAReplacementWorked) {
    pairList = L"A1 B1|";
    host.saveResult = STG_E_ACCESSDENIED;
    EXPECT_EQ(Update(), STG_E_ACCESSDENIED);
    EXPECT_THAT(Clears(), ElementsAre(Clear(L"B1"), Clear(L"Q-1")));
}

TEST_F(KeyMaintenanceTest, LogNamesEachReplacement) {
    pairList = L"A1 B1|B9|";
    EXPECT_EQ(Update(), S_OK);
    EXPECT_THAT(Log(), ElementsAre(L"Info: UpdateDLQelkeys: Update QELKEYs for DLs ...",
                                   L"Info: UpdateDLQelkeys: Replace QELKEY of DL A1 with QELKEY B1",
                                   L"Info: UpdateDLQelkeys: Replace QELKEY of DL  with QELKEY B9",
                                   L"Error: ChangeQelkey: Old QELKEY is empty"));
    // The item without a blank is refused, but the earlier replacement still saves.
    EXPECT_THAT(SentLines(), ElementsAre(L"QELDChangeTitleKey A1 B1 "));
    EXPECT_EQ(host.Entries(L"Save(").size(), 1u);
}

TEST_F(KeyMaintenanceTest, AReadOnlyDrawingIsNeverChanged) {
    const struct {
        const wchar_t* name;
        bool readOnly;
        HRESULT flagRead;
    } rows[] = {{L"read-only", true, S_OK}, {L"flag unreadable", false, E_UNEXPECTED}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        client->records.clear();
        LogReader::Remove();
        pairList = L"A1 B1|";
        drawing->readOnly = row.readOnly ? VARIANT_TRUE : VARIANT_FALSE;
        drawing->readOnlyResult = row.flagRead;

        EXPECT_EQ(Update(), row.flagRead);
        EXPECT_THAT(client->records, IsEmpty());
        EXPECT_THAT(sent, IsEmpty());
        EXPECT_THAT(host.journal, IsEmpty());
        EXPECT_THAT(Log(), ElementsAre(L"Info: UpdateDLQelkeys: Don't update QELKEYs for DLs because document is "
                                       L"opened read-only."));
    }
}

TEST_F(KeyMaintenanceTest, WithoutAnOldKeyNothingIsCollected) {
    const std::wstring notUpdated = L"Info: UpdateDLQelkeys: Don't update QELKEYs for DLs because OLD_DOC_QELKEY is empty.";
    const struct {
        const wchar_t* name;
        const wchar_t* drawingKey;
        size_t prepared;  // the drawing's key, and its old key when asked for
        std::vector<std::wstring> log;
    } rows[] = {
        {L"no old key", L"Q-1", 2, {notUpdated}},
        // The drawing's own key is a database value too: it never reaches a database request.
        {L"a drawing key that is no identifier", L"Q-1 LINE", 1,
         {L"Error: UpdateDLQelkeys: Refused QELKEY 'Q-1 LINE': a key holds only letters, digits, marks and \"-_./\""}},
    };
    client->answers[kOldKeyOfDrawing] = L"";
    pairList = L"A1 B1|";
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.name)));
        client->records.clear();
        LogReader::Remove();
        client->answers[L"#(DTY:CONTAINERKEY)"] = row.drawingKey;
        EXPECT_EQ(Update(), S_OK);
        EXPECT_THAT(client->Calls(), IsEmpty());
        EXPECT_EQ(client->Prepared().size(), row.prepared);
        EXPECT_THAT(Log(), ElementsAreArray(row.log));
    }
}

TEST_F(KeyMaintenanceTest, NoHostOrNoDocumentFails) {
    CDocumentContext withoutHost = Context();
    withoutHost.application = nullptr;
    EXPECT_EQ(CKeyMaintenance(withoutHost).UpdateDLQelkeys(drawing), E_FAIL);
    const CDocumentContext context = Context();
    EXPECT_EQ(CKeyMaintenance(context).UpdateDLQelkeys(nullptr), E_FAIL);
    EXPECT_THAT(client->records, IsEmpty());
}

TEST_F(KeyMaintenanceTest, ChangeQelkeyRefusesAnEmptyOldKeyAndKeysThatAreNoIdentifiers) {
    const CDocumentContext context = Context();
    const CKeyMaintenance keys(context);
    EXPECT_EQ(keys.ChangeQelkey(L"", L"B"), E_FAIL);
    EXPECT_THAT(sent, IsEmpty());
    EXPECT_THAT(Log(), ElementsAre(L"Error: ChangeQelkey: Old QELKEY is empty"));

    const struct {
        const wchar_t* oldKey;
        const wchar_t* newKey;
        const wchar_t* refused;
    } rows[] = {{L"Q-1005 LINE", L"B", L"Q-1005 LINE"}, {L"A", L"Q-1005 LINE", L"Q-1005 LINE"},
                {L"A|B", L"B", L"A|B"},                {L"A", L"B\t", L"B\\u0009"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.oldKey) + L" / " + row.newKey));
        LogReader::Remove();
        EXPECT_EQ(keys.ChangeQelkey(row.oldKey, row.newKey), E_FAIL);
        EXPECT_THAT(sent, IsEmpty());
        EXPECT_THAT(Log(), ElementsAre(L"Error: ChangeQelkey: Refused QELKEY '" + std::wstring(row.refused) +
                                       L"': a key holds only letters, digits, marks and \"-_./\""));
    }

    sendResult = E_ACCESSDENIED;
    EXPECT_EQ(keys.ChangeQelkey(L"A", L""), E_ACCESSDENIED);
    EXPECT_THAT(sent, ElementsAre(std::make_pair(std::wstring(L"QELDChangeTitleKey A  "), 1)));
}

}  // namespace
