// The title attribute import's checks before the host is contacted, through Run with a
// fake client: the import INI file and the write permission decide outcomes 1 and 4.
#include "component/CCAI_Call.h"
#include "fakes/RunFixture.h"
#include "fakes/FakeCallback.h"
#include "fakes/FragmentedAddressSpace.h"
#include "fakes/LogReader.h"
#include "support/ComPtr.h"
#include <gmock/gmock.h>
#include <algorithm>
#include <optional>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

namespace {

constexpr wchar_t kFindIni[] = L"#(FindFile \"qeldtitleimport.ini\" \"#(Appl:SearchPath)\")";
constexpr wchar_t kCaller[] = L"CCAI_Call::QELDImportTitleAttributes()";

class TitleBlockImportTest : public RunFixture {
protected:
    TitleBlockImportTest() {
        drawing = folder.File(L"Bracket.vdr");
        TempFolder::WriteBytes(drawing, "VECTA DRAWING 1\n");
    }

    // Runs QELDIMPORTTITLEATTRIBUTES on the drawing; the command always answers S_OK.
    LONG Import() {
        client->records.clear();
        LogReader::Remove();
        LONG result = 0;
        EXPECT_EQ(Run({L"QELDIMPORTTITLEATTRIBUTES", drawing, L""}, result), S_OK);
        return result;
    }

    void UseIni(const std::string& bytes) {
        const std::wstring path = folder.File(L"qeldtitleimport.ini");
        TempFolder::WriteBytes(path, bytes);
        client->answers[kFindIni] = path;
    }

    std::vector<std::wstring> OutcomeReports() const {
        std::vector<std::wstring> out;
        for (const FakeCallback::Record& call : client->Calls())
            if (call.text == L"___Environment" && call.arguments.rfind(L"ZEPErrorCode=", 0) == 0)
                out.push_back(call.arguments);
        return out;
    }

    bool Asked(const std::wstring& expression) const {
        const std::vector<std::wstring> prepared = client->Prepared();
        return std::find(prepared.begin(), prepared.end(), expression) != prepared.end();
    }

    // The host connection starts with the profile question; a refused import never gets there.
    void ExpectNoHostContact() const {
        EXPECT_FALSE(Asked(L"#(Appl:Profile)"));
        EXPECT_EQ(CCAI_Call::FromInterface(object.get())->HostSession().Application().get(), nullptr);
        EXPECT_THAT(LogReader().Messages(), Not(Contains(L"Error: Unknown error!")));
    }

    std::wstring drawing;
};

TEST_F(TitleBlockImportTest, UnusableImportIniGivesOutcomeOneBeforeAnythingElse) {
    struct Row {
        const char* name;
        const char* bytes;  // null: the client finds no file
        bool found = true;  // the client names a path, which may not exist
    } rows[] = {
        {"not on the search path", nullptr, false},
        {"named but missing", nullptr, true},
        {"empty file", ""},
        {"section without entries", "[Title]\r\n"},
        {"two empty sections", "[Title]\r\n[Parts]\r\n"},
        {"entries before the first section", "DESCRIPTION=x\r\n[Title]\r\n"},
        {"only comments below the section", "[Title]\r\n;DESCRIPTION=x\r\n"},
        {"lines without equals sign", "[Title]\r\nDESCRIPTION\r\n"},
    };
    client->answers[L"#(QELKEY)"] = L"Q-1";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        client->answers.erase(kFindIni);
        if (row.bytes) UseIni(row.bytes);
        else if (row.found) client->answers[kFindIni] = folder.File(L"absent.ini");

        EXPECT_EQ(Import(), 1);
        EXPECT_THAT(OutcomeReports(), ElementsAre(L"ZEPErrorCode=", L"ZEPErrorCode=1"));
        EXPECT_EQ(client->environment[L"ZEPErrorCode"], L"1");
        EXPECT_FALSE(Asked(L"#(QELKEY)"));  // the write check is not reached
        ExpectNoHostContact();
    }
}

TEST_F(TitleBlockImportTest, AnySectionYieldingEntriesPassesTheIniCheck) {
    // With no document key the write check refuses next: outcome 4 shows the INI passed.
    const std::string utf16("\xFF\xFE[\0T\0]\0\r\0\n\0x\0=\0\x31\0\r\0\n\0", 22);
    std::string manyKeys = "[Title]\r\n";
    for (int n = 0; n < 20000; ++n) manyKeys += "ATTR_" + std::to_string(n) + "=" + std::to_string(n) + "\r\n";
    struct Row {
        const char* name;
        std::string bytes;
        bool fragmented = false;  // the client's address space has no hole of 64 MB left
    } rows[] = {
        {"plain entry", "[Title]\r\nDESCRIPTION=#(DESCRIPTION)\r\n"},
        {"entry in a later section", "[Empty]\r\n[Title]\r\nREVISION=A\r\n"},
        {"a SUPER key alone counts", "[Title]\r\nsuper=Base\r\n"},
        {"UTF-16 file", utf16},
        {"20,000 keys in a fragmented address space", manyKeys, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UseIni(row.bytes);
        std::optional<FragmentedAddressSpace> space;
        if (row.fragmented) space.emplace(64 * 1024 * 1024);
        EXPECT_EQ(Import(), 4);
        space.reset();
        EXPECT_THAT(OutcomeReports(), ElementsAre(L"ZEPErrorCode=", L"ZEPErrorCode=4"));
        EXPECT_TRUE(Asked(L"#(QELKEY)"));
        ExpectNoHostContact();
    }
}

TEST_F(TitleBlockImportTest, RefusedWritePermissionGivesOutcomeFour) {
    const std::wstring writeRight = L"@(Where \"db=Folder_All_Document\" \"QELKEY=Q-1\" #(=crdynamic(\"W\")))";
    struct Row {
        const char* name;
        const wchar_t* key;
        bool readOnlyFile;
        std::wstring entry;  // empty: the refusal writes nothing
        bool asksClient;
    } rows[] = {
        {"no document key", L"", false, L"", false},
        {"read-only drawing file", L"Q-1", true,
         L"Error: " + std::wstring(kCaller) + L": No write permission for the file " + drawing, false},
        {"client denies the write right", L"Q-1", false,
         L"Error: " + std::wstring(kCaller) +
             L": No write permission for the document in Fennory Professional: QELKEY = Q-1",
         true},
    };
    UseIni("[Title]\r\nDESCRIPTION=#(DESCRIPTION)\r\n");
    client->answers[writeRight] = L"FALSE";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        client->answers[L"#(QELKEY)"] = row.key;
        SetFileAttributesW(drawing.c_str(), row.readOnlyFile ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);

        EXPECT_EQ(Import(), 4);
        EXPECT_THAT(OutcomeReports(), ElementsAre(L"ZEPErrorCode=", L"ZEPErrorCode=4"));
        EXPECT_EQ(Asked(writeRight), row.asksClient);
        const std::vector<std::wstring> messages = LogReader().Messages();
        const auto refusals = std::count_if(messages.begin(), messages.end(), [](const std::wstring& m) {
            return m.find(L"No write permission") != std::wstring::npos;
        });
        EXPECT_EQ(refusals, row.entry.empty() ? 0 : 1);
        if (!row.entry.empty()) {
            EXPECT_THAT(messages, Contains(row.entry));
        }
        ExpectNoHostContact();
    }
    SetFileAttributesW(drawing.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
