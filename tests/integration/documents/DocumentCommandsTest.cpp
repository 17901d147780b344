// The document commands end to end: Run with a client whose "___Shell" launches VectaSim.
#include "HostTest.h"
#include "runtime/CComponentThreads.h"
#include "runtime/CModuleLock.h"
#include "runtime/CHostCallApartment.h"
#include "fakes/ApartmentPump.h"
#include "fakes/ArgumentArray.h"
#include "fakes/WaitLimit.h"
#include "support/UniqueVariant.h"
#include "support/ResultMacros.h"
#include <atomic>
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

// Two objects drive one host from two threads: a publication whose client answers slowly and
// an open. The open waits for the whole publication, so the publishing switch and the close
// meet the drawing published, and the other caller's drawing is opened afterwards.
TEST_F(DocumentCommandsTest, APublicationAndAnOpenFromTwoObjectsTakeTurnsOnTheHost) {
    SetAnswer(L"#(DTY:ContainerAutoPSX)", folder.File(L"y.psx"));
    SetAnswer(L"$(WSPATH:/+)", folder.Path() + L"\\");  // the lock's folder
    const std::wstring x = Write(L"x.vdr", kDrawing), y = Write(L"y.vdr", kDrawing);
    LONG result = -1;
    ASSERT_EQ(Run({L"QELDOPEN", Write(L"first.vdr", kDrawing), L""}, result), S_OK);  // the host runs

    std::atomic<bool> publishing{false};
    HRESULT nested = E_PENDING;
    client->commands[L"___Environment"] = [&](FakeCallback&, const std::wstring& arguments) {
        if (arguments == L"ZEPErrorCode=0") {
            publishing = true;
            // An answer to the publication's own apartment re-enters: it is the publication's.
            LONG nestedResult = -1;
            nested = Run({L"QELDSETLOGLEVEL", L"2", L""}, nestedResult);
            Sleep(1000);
        }
        return 0L;
    };
    std::atomic<HRESULT> opened{E_PENDING};
    ComPtr<FakeCallback> otherClient;
    otherClient.attach(FakeCallback::Create());
    otherClient->answers = client->answers;
    otherClient->environment = client->environment;
    std::thread other([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        {
            for (int i = 0; i < 500 && !publishing; ++i) Sleep(20);
            ComPtr<ICAI_Call> own;
            UniqueVariant args = ArgumentArray({L"QELDOPEN", x, L""});
            UniqueVariant out;
            if (SUCCEEDED(CCAI_Call::Create(nullptr, IID_ICAI_Call, own.put_void())))
                opened = own->Run(otherClient.get(), args.get(), out.put());
        }
        CoUninitialize();
    });
    EXPECT_EQ(Run({L"QELDPUBLISHPSX", y, L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    // The host calls this apartment's client meanwhile, which the add-in was handed last.
    EXPECT_TRUE(PumpUntil([&] { return opened != E_PENDING; }, 20000)) << "the other object's open";
    JoinWithin(other, "the other object's open");
    EXPECT_TRUE(publishing);
    EXPECT_EQ(nested, S_OK);
    EXPECT_EQ(opened, S_OK);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder.File(L"y.psx"))));
    const std::string trace = Trace();
    const size_t closed = trace.find("Document[y.vdr].Close("), openedOther = trace.find("Documents.Open(\"" + Narrow(x));
    ASSERT_NE(closed, std::string::npos);
    ASSERT_NE(openedOther, std::string::npos);
    EXPECT_LT(closed, openedOther);
    EXPECT_EQ(trace.find("Document[x.vdr].Close("), std::string::npos);
}

// A host that never answers the open: the publication ends at the (shortened) limit without
// waiting on the host again and holds nothing of it in the client's apartment, so that the
// apartment ends at once while the host is still stuck and another command works meanwhile;
// once the host lets go the apartment given up ends by itself, and the next publication
// works and leaves the host with the session.
TEST_F(DocumentCommandsTest, APublicationWhoseOpenNeverReturnsEndsAtTheLimit) {
    const std::wstring control = Write(L"control.json", "{}");
    SetOpenArgument(L"/control \"" + control + L"\"");
    SetAnswer(L"#(DTY:ContainerAutoPSX)", folder.File(L"held.psx"));
    SetAnswer(L"$(WSPATH:/+)", folder.Path() + L"\\");  // the lock's folder
    const std::wstring path = Write(L"held.vdr", kDrawing);
    LONG result = -1;
    ASSERT_EQ(Run({L"QELDOPEN", Write(L"other.vdr", kDrawing), L""}, result), S_OK);  // the host runs

    Write(L"control.json", R"({"openHold": true})");
    constexpr DWORD kLimit = 1500;
    DWORD took = INFINITE, uninitialized = INFINITE;
    bool heldAfter = true;
    std::thread caller([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        {
            ComPtr<ICAI_Call> own;
            if (SUCCEEDED(CCAI_Call::Create(nullptr, IID_ICAI_Call, own.put_void()))) {
                CCAI_Call::FromInterface(own.get())->SetOpenTimeLimit(kLimit);
                UniqueVariant args = ArgumentArray({L"QELDPUBLISHPSX", path, L""});
                UniqueVariant out;
                const DWORD begin = GetTickCount();
                EXPECT_EQ(own->Run(client.get(), args.get(), out.put()), HR_TIMEOUT);
                took = GetTickCount() - begin;
                EXPECT_EQ(V_I4(&out.get()), 1);
                heldAfter = CCAI_Call::FromInterface(own.get())->HostSession().Application().get() != nullptr;
            }
        }
        const DWORD leaving = GetTickCount();
        CoUninitialize();
        uninitialized = GetTickCount() - leaving;
    });
    const bool ended = PumpUntil([&] { return uninitialized != INFINITE; }, kLimit + 10000);
    if (!ended) Write(L"control.json", "{}");  // the host lets go, so that the thread can end
    EXPECT_TRUE(ended) << "the client apartment's end while the host is stuck";
    JoinWithin(caller, "the publishing client thread leaving COM");
    EXPECT_GE(took, kLimit);
    EXPECT_LT(took, kLimit + 1000);
    EXPECT_LT(uninitialized, 1000u);
    EXPECT_FALSE(heldAfter);
    EXPECT_THAT(Messages(), ::testing::Contains(L"Error: OpenDocumentWithTimeout: Time-out interval elapsed -> terminate thread"));
    EXPECT_EQ(CHostCallApartment::Running(), 1);
    EXPECT_EQ(Run({L"QELDCHECKAPPLICATION", L""}, result), S_OK);

    Write(L"control.json", "{}");
    EXPECT_TRUE(PumpUntil([] { return CHostCallApartment::Running() == 0; }, 10000)) << "the given-up apartment's end";
    Host().Attach(nullptr);
    EXPECT_EQ(Run({L"QELDPUBLISHPSX", path, L""}, result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_NE(Host().Application().get(), nullptr);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder.File(L"held.psx"))));
    QuitHosts();
    object.reset();
    for (int i = 0; i < 100 && !CModuleLock::CanUnload(); ++i) Sleep(50);
    EXPECT_TRUE(CModuleLock::CanUnload());
}

}  // namespace
