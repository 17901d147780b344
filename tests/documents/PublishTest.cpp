#include "client/CVantorApplication.h"
#include "component/CCAI_Call.h"
#include "documents/CPsxLockFile.h"
#include "fakes/CSimProcess.h"
#include "fakes/RunFixture.h"
#include "fakes/FakeCallback.h"
#include "fakes/LogReader.h"
#include "support/ComPtr.h"
#include "support/CUtils.h"
#include <gmock/gmock.h>

using ::testing::Contains;
using ::testing::IsEmpty;

namespace {

const std::wstring kRunEntry = L"Info: Run() QELDPUBLISHPSX ";

// QELDPUBLISHPSX through Run, with a client that knows the workspace, the user and the target.
class PublishTest : public RunFixture {
protected:
    PublishTest() {
        CreateDirectoryW(folder.File(L"ws").c_str(), nullptr);
        CreateDirectoryW(folder.File(L"d").c_str(), nullptr);
        client->environment[L"USERID"] = L"jdoe";
        client->answers[L"$(WSPATH:/+)"] = folder.File(L"ws") + L"/";
        client->answers[L"#(DTY:ContainerAutoPSX)"] = target = folder.File(L"d\\plan.psx");
        drawing = folder.File(L"d\\plan.vdr");
        TempFolder::WriteBytes(drawing, "VECTA DRAWING 1\nKEY=Q-1\n");
    }

    HRESULT Publish(const std::wstring& path, LONG& result) { return Run({L"QELDPUBLISHPSX", path, L""}, result); }

    // The lock as a failed publication leaves it, read with the client's answers.
    void WriteLock() {
        CVantorApplication::Instance().SetCallback(client.get());
        ASSERT_TRUE(CPsxLockFile(drawing).WriteLock());
        CVantorApplication::Instance().ReleaseCallback();
    }

    // The log without the client questions that the session records.
    static std::vector<std::wstring> OwnEntries() {
        std::vector<std::wstring> entries;
        for (const std::wstring& line : LogReader().Messages())
            if (line.find(L" Prepare(") == std::wstring::npos) entries.push_back(line);
        return entries;
    }

    bool AskedForTheHost() const {
        for (const std::wstring& expression : client->Prepared())
            if (expression.find(L"Appl:") != std::wstring::npos && expression != L"#(Appl:LogLevel)") return true;
        return false;
    }

    std::wstring drawing;
    std::wstring target;
};

TEST_F(PublishTest, RefusalsComeBeforeAnyHostContactAndKeepTheQuietFlag) {
    // A name that could lead the lock or the fallback's copy out of the workspace folder, and
    // a path that file calls would cut at its NUL (the lock would be the user's notes.txt).
    const std::wstring outward = folder.File(L"d\\plan.vdr:x.vdr");
    const std::wstring notes = folder.File(L"ws\\notes.txt");
    TempFolder::WriteBytes(notes, "mine\n");
    const std::wstring cut = notes + L'\0' + L".vdr";
    const std::wstring cutShown = notes + L"\\u0000.vdr";
    struct Row {
        const char* name;
        bool lock;
        bool readOnlyTarget;
        std::wstring path;
        HRESULT hr;
        LONG code;
        std::wstring entry;  // a lock refuses without an entry
        std::wstring shown;  // the path as the log shows it, when it differs
    } rows[] = {
        {"fresh lock, drawing unchanged", true, false, drawing, E_FAIL, 3, L"", L""},
        {"read-only target", false, true, drawing, E_ACCESSDENIED, 2, L"Error: PublishPSX: PSX File is read-only: " + target,
         L""},
        {"file name naming a stream", false, false, outward, E_FAIL, 3,
         L"Error: PublishPSX: Refused path '" + outward + L"': its file name names a drive or stream (\":\")", L""},
        {"path holding a NUL", false, false, cut, E_FAIL, 3,
         L"Error: PublishPSX: Refused path '" + cutShown + L"': it holds a control character", cutShown},
    };
    for (const Row& row : rows) {
        if (row.lock) WriteLock();
        TempFolder::WriteBytes(target, "VECTA PSX 1\n");
        if (row.readOnlyTarget) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
        for (bool quiet : {false, true}) {
            SCOPED_TRACE(testing::Message() << row.name << ", quiet " << quiet);
            LogReader::Remove();
            client->records.clear();
            CUtils::Instance().SetQuiet(quiet);
            LONG result = -1;
            EXPECT_EQ(Publish(row.path, result), row.hr);
            EXPECT_EQ(result, row.code);
            std::vector<std::wstring> expected{kRunEntry + (row.shown.empty() ? row.path : row.shown)};
            if (!row.entry.empty()) expected.push_back(row.entry);
            EXPECT_EQ(OwnEntries(), expected);
            EXPECT_FALSE(AskedForTheHost());
            EXPECT_EQ(CUtils::Instance().IsQuiet(), quiet);
            EXPECT_THAT(shown, IsEmpty());
        }
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(target.c_str());
        DeleteFileW(folder.File(L"ws\\plan.psxlck").c_str());
    }
    EXPECT_EQ(TempFolder::ReadBytes(notes), "mine\n");
}

// Against a running VectaSim of the configured profile, found by the connection at once: the
// add-in's outcome decides the answer, and the quiet flag is back as it was either way.
TEST_F(PublishTest, TheHostsOutcomeDecidesAndTheQuietFlagIsRestored) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ASSERT_EQ(CSimProcess::RegisterAll(), S_OK);
        const std::wstring profile = L"PublishUnit" + std::to_wstring(GetCurrentProcessId());
        const std::wstring control = folder.File(L"control.json");
        TempFolder::WriteBytes(control, "{}");
        CSimProcess sim;
        ASSERT_EQ(sim.Start(profile, L"R17", L"/version 17.2 /idle 30 /control \"" + control + L"\""), S_OK);
        client->answers[L"#(Appl:Profile)"] = profile;
        client->answers[L"#(Appl:VectaVersion)"] = L"R17.2";
        client->answers[L"#(Appl:ApplicationName)"] = L"Vecta";
        client->answers[L"#(Appl:WaitForActiveCommand)"] = L"100";
        // A close that failed leaves the outcome as preset, unless the add-in reported all the
        // same; what the client then holds is what it reported.
        struct Row {
            const char* name;
            const char* control;
            const wchar_t* reported;  // the client's answer for the outcome; null: as the add-in set it
            HRESULT hr;
            LONG code;
            bool published;
            bool locked;
            std::wstring entry;
        } rows[] = {
            {"published", R"({"publishOutcome": "0"})", nullptr, S_OK, 0, true, false, L"Info: PublishPSX: Publish PSX on close"},
            {"add-in failure", R"({"publishOutcome": "7"})", nullptr, E_FAIL, 3, false, true,
             L"Error: PublishPSX: Failed to publish PSX"},
            {"close fails, outcome untouched", R"({"closeFails": true})", nullptr, E_FAIL, 3, false, false,
             L"Error: PublishPSX: IVectaDocument->Close() failed (hr = 80004005)"},
            {"close fails after the add-in reported a failure", R"({"closeFails": true})", L"7", E_FAIL, 3, false, true,
             L"Error: PublishPSX: Failed to publish PSX"},
            // The copy's save publishes; the client still holds "4".
            {"close fails after the add-in asked for the fallback", R"({"closeFails": true})", L"4", E_FAIL, 3, true,
             false, L"Info: PublishPSX: Publish PSX on save for temporary copy of the document"},
        };
        for (const Row& row : rows) {
            for (bool quiet : {false, true}) {
                SCOPED_TRACE(testing::Message() << row.name << ", quiet " << quiet);
                TempFolder::WriteBytes(control, row.control);
                if (row.reported)
                    client->answers[L"$(ZEPErrorCode)"] = row.reported;
                else
                    client->answers.erase(L"$(ZEPErrorCode)");
                DeleteFileW(target.c_str());
                DeleteFileW(folder.File(L"ws\\plan.psxlck").c_str());
                LogReader::Remove();
                CUtils::Instance().SetQuiet(quiet);
                LONG result = -1;
                EXPECT_EQ(Publish(drawing, result), row.hr);
                EXPECT_EQ(result, row.code);
                EXPECT_EQ(GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES, row.published);
                EXPECT_EQ(GetFileAttributesW(folder.File(L"ws\\plan.psxlck").c_str()) != INVALID_FILE_ATTRIBUTES,
                          row.locked);
                EXPECT_THAT(OwnEntries(), Contains(row.entry));
                EXPECT_EQ(CUtils::Instance().IsQuiet(), quiet);
                EXPECT_THAT(shown, IsEmpty());
            }
        }
        object.reset();
    }
    CoUninitialize();
}

}  // namespace
