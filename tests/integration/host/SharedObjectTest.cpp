// One CAI_Call object that two threads of the client's multithreaded apartment call at once.
#include "HostTest.h"
#include "fakes/ArgumentArray.h"
#include "support/UniqueVariant.h"
#include <thread>

namespace {

using SharedObjectTest = HostTest;

// Each thread has its own client under its own profile, and each profile its own host, the
// first with a drawing open: every QELDISAVAILABLEFORPUBLISHPSX connects anew and replaces the
// object's host reference by its own host's, which the other thread's Run may be calling
// through, and counts the drawings of the host it holds. A client call that reached the other
// thread's client shows in the profile QELDCHECKAPPLICATION hands back.
TEST_F(SharedObjectTest, TwoThreadsTakeTurnsOnOneObject) {
    constexpr int kRuns = 1000;
    struct Caller {
        std::wstring profile;
        LONG available;  // result of QELDISAVAILABLEFORPUBLISHPSX: 1 with a drawing open
        ComPtr<FakeCallback> client;
        int failures = 0;
    };
    Caller callers[] = {{profile, 1, {}, 0}, {profile + L"-second", 0, {}, 0}};
    for (Caller& caller : callers) {
        CSimProcess& sim = StartSim(L"", caller.profile);
        if (caller.available == 1) {
            const std::wstring drawing = folder.File(L"shared.vdr");
            TempFolder::WriteBytes(drawing, "VECTA DRAWING 1\nKEY=Q-1\n");
            ComPtr<IVectaDocuments> documents;
            ComPtr<IVectaDocument> document;
            ASSERT_EQ(sim.App()->get_Documents(documents.put()), S_OK);
            ASSERT_EQ(documents->Open(UniqueBstr(drawing).get(), CVectaArgument::Index(0), CVectaArgument::Index(0),
                                      document.put()),
                      S_OK);
        }
        caller.client.attach(FakeCallback::Create());
        caller.client->AnswerForHostSession(caller.profile, L"-1");  // the log off: 2000 Runs
    }

    ComPtr<ICAI_Call> shared;
    ASSERT_EQ(CCAI_Call::Create(nullptr, IID_ICAI_Call, shared.put_void()), S_OK);
    auto drive = [&](Caller& caller, ComPtr<ICAI_Call> object) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
        for (int i = 0; i < kRuns; ++i) {
            const bool check = i % 2 == 1;
            UniqueVariant args = ArgumentArray({check ? L"QELDCHECKAPPLICATION" : L"QELDISAVAILABLEFORPUBLISHPSX", L""});
            UniqueVariant out;
            caller.client->environment.erase(L"RETVECTAProfile");
            const HRESULT hr = object->Run(caller.client.get(), args.get(), out.put());
            const bool answered = check ? caller.client->environment[L"RETVECTAProfile"] == caller.profile
                                        : V_I4(&out.get()) == caller.available;
            if (hr != S_OK || !answered) ++caller.failures;
        }
        object.reset();  // the last one out releases the host reference in this apartment
        CoUninitialize();
    };
    std::thread first(drive, std::ref(callers[0]), shared), second(drive, std::ref(callers[1]), shared);
    shared.reset();
    first.join();
    second.join();

    for (const Caller& caller : callers) {
        SCOPED_TRACE(testing::PrintToString(caller.profile));
        EXPECT_EQ(caller.failures, 0);
        EXPECT_EQ(caller.client->RefCount(), 1);
    }
}

}  // namespace
