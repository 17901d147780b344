// The document commands end to end: Run with a client whose "___Shell" launches VectaSim.
#include "HostTest.h"
#include "support/CComponentThreads.h"
#include "support/CModuleLock.h"
#include "support/CParkedHostReferences.h"
#include "documents/CTimedOpen.h"
#include "support/CHostCallWorkers.h"
#include "fakes/ApartmentPump.h"
#include "fakes/ArgumentArray.h"
#include "fakes/WaitLimit.h"
#include "support/UniqueVariant.h"
#include "support/ResultMacros.h"
#include <filesystem>
#include <fstream>
#include <thread>

using ::testing::HasSubstr;

namespace {

constexpr char kDrawing[] = "VECTA DRAWING 1\nKEY=Q-1001\nREF=Q-2001\nTITLE.DESCRIPTION=Bracket\n";

class DocumentCommandsTest : public HostTest {
protected:
    std::wstring Write(const std::wstring& name, const std::string& content) {
        const std::wstring path = folder.File(name);
        std::ofstream(std::filesystem::path(path), std::ios::binary) << content;
        return path;
    }
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
    // The drawing counts as managed for the command sending's check.
    void Managed(const std::wstring& path, const std::wstring& key) {
        SetAnswer(L"@(QELKEYfromPath \"" + path + L"\")", key);
    }
};

TEST_F(DocumentCommandsTest, OpenAndOpenReadOnlyStartTheHostAndSetTheDrawingUp) {
    const std::wstring path = Write(L"a.vdr", kDrawing);
    SetAnswer(L"#(DTY:CONTAINERKEY)", L"Q-1001");
    LONG result = -1;
    EXPECT_EQ(Run({L"QELDOPEN", path, L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ShellCalls(), 1u);
    EXPECT_TRUE(TraceHas("Documents.Open(\"" + Narrow(path) + "\", i4:0, i4:0) = 00000000"));
    EXPECT_TRUE(TraceHas("AddIn.SetSymbol(\"QELKEY\", \"Q-1001\") = 00000000"));

    EXPECT_EQ(Run({L"QELDOPENREADONLY", path, L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ShellCalls(), 1u);
    EXPECT_TRUE(TraceHas("Documents.Open(\"" + Narrow(path) + "\", i4:1, i4:0) = 00000000"));
}

TEST_F(DocumentCommandsTest, ADrawingListShowsItsTitle) {
    const std::wstring path = Write(L"list.vdr", kDrawing);
    SetAnswer(L"#(FILE_TYPE)", L"DL");
    SetAnswer(L"#(QELKEY)", L"Q-1001");
    Managed(path, L"Q-1001");
    LONG result = -1;
    EXPECT_EQ(Run({L"QELDOPEN", path, L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(TraceHas("Command.Run(\"QELDSHOWTITLE Q-1001\")"));
}

TEST_F(DocumentCommandsTest, ChangeQelkeyReplacesTheKeyInTheActiveDrawing) {
    const std::wstring path = Write(L"change.vdr", kDrawing);
    Managed(path, L"Q-1001");
    LONG result = -1;
    ASSERT_EQ(Run({L"QELDOPEN", path, L""}, result), S_OK);
    EXPECT_EQ(Run({L"QELDCHANGEQELKEY", L"Q-2001", L"Q-3001", L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(TraceHas("Command.Run(\"QELDChangeTitleKey Q-2001 Q-3001\")"));

    EXPECT_EQ(Run({L"QELDCHANGEQELKEY", L"", L"Q-3001", L""}, result), E_FAIL);
    EXPECT_EQ(result, 1);
}

TEST_F(DocumentCommandsTest, NewCreatesAndSavesAPartFile) {
    const std::wstring templatePath = Write(L"part.dwt", "VECTA DRAWING 1\nTITLE.DESCRIPTION=Part\n");
    const std::wstring fileName = folder.File(L"new.vdr");
    SetAnswer(L"#(DTY:QNewTemplate)", templatePath);
    SetAnswer(L"#(FILE_TYPE)", L"PX");
    LONG result = -1;
    EXPECT_EQ(Run({L"QELDNEW", fileName, L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    std::ifstream saved(std::filesystem::path(fileName), std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_THAT(content, HasSubstr("PARTFILE=1\n"));
}

TEST_F(DocumentCommandsTest, ACancelledTemplateChoiceNeverStartsAHost) {
    LONG result = -1;
    EXPECT_EQ(Run({L"QELDNEW", folder.File(L"never.vdr"), L""}, result), E_FAIL);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ShellCalls(), 0u);
}

// A host that never answers the open: the publication ends at the (shortened) limit without
// waiting on the host again, the next command works meanwhile, and once the host lets go
// everything the component held on it is released and the next publication works.
TEST_F(DocumentCommandsTest, APublicationWhoseOpenNeverReturnsEndsAtTheLimit) {
    const std::wstring control = Write(L"control.json", "{}");
    SetOpenArgument(L"/control \"" + control + L"\"");
    SetAnswer(L"#(DTY:ContainerAutoPSX)", folder.File(L"held.psx"));
    const std::wstring path = Write(L"held.vdr", kDrawing);
    LONG result = -1;
    ASSERT_EQ(Run({L"QELDOPEN", Write(L"other.vdr", kDrawing), L""}, result), S_OK);  // the host runs

    Write(L"control.json", R"({"openHold": true})");
    constexpr DWORD kLimit = 1500;
    Call().SetOpenTimeLimit(kLimit);
    const DWORD begin = GetTickCount();
    EXPECT_EQ(Run({L"QELDPUBLISHPSX", path, L""}, result), HR_TIMEOUT);
    const DWORD took = GetTickCount() - begin;
    EXPECT_EQ(result, 1);
    EXPECT_GE(took, kLimit);
    EXPECT_LT(took, kLimit + 1000);
    EXPECT_THAT(Messages(), ::testing::Contains(L"Error: OpenDocumentWithTimeout: Time-out interval elapsed -> terminate thread"));
    EXPECT_TRUE(CComponentThreads::AnyRunning());
    EXPECT_TRUE(CParkedHostReferences::Any());
    EXPECT_EQ(Run({L"QELDCHECKAPPLICATION", L""}, result), S_OK);

    // Once the open has returned, the parked references go with this apartment's next command,
    // released here: the worker only ends, calling nothing in this apartment.
    Write(L"control.json", "{}");
    EXPECT_TRUE(PumpUntil([] { return CHostCallWorkers::Running() == 0; }, 5000));
    EXPECT_TRUE(CParkedHostReferences::Any());
    EXPECT_EQ(Run({L"QELDCHECKAPPLICATION", L""}, result), S_OK);
    EXPECT_FALSE(CParkedHostReferences::Any());
    Call().SetOpenTimeLimit(CTimedOpen::kTimeLimit);
    EXPECT_EQ(Run({L"QELDPUBLISHPSX", path, L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(CParkedHostReferences::Any());
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder.File(L"held.psx"))));

    // A thread that leaves COM lets go of what its apartment parked, without another command.
    Write(L"control.json", R"({"openHold": true})");
    const std::wstring second = Write(L"second.vdr", kDrawing);
    bool parked = false;
    std::thread leaving([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        {
            ComPtr<ICAI_Call> own;
            if (SUCCEEDED(CCAI_Call::Create(nullptr, IID_ICAI_Call, own.put_void()))) {
                CCAI_Call::FromInterface(own.get())->SetOpenTimeLimit(kLimit);
                UniqueVariant args = ArgumentArray({L"QELDPUBLISHPSX", second, L""});
                UniqueVariant out;
                EXPECT_EQ(own->Run(client.get(), args.get(), out.put()), HR_TIMEOUT);
            }
        }
        parked = CParkedHostReferences::Any();
        Write(L"control.json", "{}");
        for (int i = 0; i < 100 && CHostCallWorkers::Running() != 0; ++i) Sleep(50);
        CoUninitialize();
    });
    JoinWithin(leaving, "the timed-out publishing thread leaving COM");
    EXPECT_TRUE(parked);
    EXPECT_FALSE(CParkedHostReferences::Any());
    QuitHosts();
    object.reset();
    for (int i = 0; i < 100 && !CModuleLock::CanUnload(); ++i) Sleep(50);
    EXPECT_TRUE(CModuleLock::CanUnload());
}

}  // namespace
