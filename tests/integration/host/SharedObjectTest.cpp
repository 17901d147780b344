// One CAI_Call object that two threads of the client's multithreaded apartment call at once.
#include "HostTest.h"
#include "fakes/ArgumentArray.h"
#include "fakes/ApartmentPump.h"
#include "fakes/WaitLimit.h"
#include "support/ResultMacros.h"
#include "support/UniqueVariant.h"
#include <atomic>
#include <ctime>
#include <thread>

namespace {

using SharedObjectTest = HostTest;

// The object marshalled for another apartment; the receiving thread unmarshals it.
IStream* ForOtherApartment(ICAI_Call* object) {
    IStream* stream = nullptr;
    EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_ICAI_Call, object, &stream), S_OK);
    return stream;
}

ComPtr<ICAI_Call> FromOtherApartment(IStream* stream) {
    ComPtr<ICAI_Call> object;
    EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_ICAI_Call, object.put_void()), S_OK);
    return object;
}

HRESULT RunCheck(ICAI_Call* object, FakeCallback* client, VARIANT& out) {
    UniqueVariant args = ArgumentArray({L"QELDCHECKAPPLICATION", L""});
    client->environment.erase(L"RETVECTAProfile");
    const WaitLimit bound("Run QELDCHECKAPPLICATION");
    return object->Run(client, args.get(), &out);
}

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
    JoinWithin(first, "the first caller's Runs", std::chrono::seconds(90));
    JoinWithin(second, "the second caller's Runs", std::chrono::seconds(90));

    for (const Caller& caller : callers) {
        SCOPED_TRACE(testing::PrintToString(caller.profile));
        EXPECT_EQ(caller.failures, 0);
        EXPECT_EQ(caller.client->RefCount(), 1);
    }
}

// The object lives in this thread's apartment, as a job server's does; two other apartments
// call it through proxies while its owner runs commands whose client answers modally (letting
// calls in). A call that arrives inside the owner's Run is refused at once, never run inside
// it; between the owner's Runs the others are served. Every answer is its caller's own.
TEST_F(SharedObjectTest, OtherApartmentsNeverRunInsideTheOwnersRun) {
    constexpr int kOwnerRuns = 15;
    struct Driver {
        std::wstring profile;
        IStream* stream;
        int answered = 0, refused = 0, wrong = 0, inside = 0;
    };
    Driver drivers[] = {{profile + L"-a", ForOtherApartment(object.get())},
                        {profile + L"-b", ForOtherApartment(object.get())}};
    std::atomic<bool> ownerRunning{false}, stop{false};
    std::atomic<int> finished{0};
    auto drive = [&](Driver& driver) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        {
            ComPtr<ICAI_Call> proxy = FromOtherApartment(driver.stream);
            ComPtr<FakeCallback> own;
            own.attach(FakeCallback::Create());
            own->AnswerForHostSession(driver.profile, L"1");
            own->beforeAnswer[L"#(Appl:Profile)"] = [&] { driver.inside += ownerRunning ? 1 : 0; };
            while (proxy && !stop) {
                UniqueVariant out;
                const HRESULT hr = RunCheck(proxy.get(), own.get(), *out.put());
                const bool answer = V_VT(&out.get()) == VT_I4 && own->environment.count(L"RETVECTAProfile") != 0;
                if (hr == S_OK && V_I4(&out.get()) == 0 && own->environment[L"RETVECTAProfile"] == driver.profile)
                    ++driver.answered;
                else if (hr == E_FAIL && V_I4(&out.get()) == 1 && !answer)
                    ++driver.refused;
                else
                    ++driver.wrong;
                Sleep(10);  // a job server's pace, not a flood
            }
        }
        CoUninitialize();
        ++finished;
    };
    std::thread first(drive, std::ref(drivers[0])), second(drive, std::ref(drivers[1]));

    client->beforeAnswer[L"#(Appl:Profile)"] = [] { PumpUntil([] { return false; }, 150); };
    int ownerWrong = 0;
    for (int i = 0; i < kOwnerRuns; ++i) {
        UniqueVariant out;
        ownerRunning = true;
        const HRESULT hr = RunCheck(object.get(), client.get(), *out.put());
        ownerRunning = false;
        if (hr != S_OK || V_I4(&out.get()) != 0 || client->environment[L"RETVECTAProfile"] != profile) ++ownerWrong;
        PumpUntil([] { return false; }, 20);  // served between the owner's Runs
    }
    PumpUntil([&] { return drivers[0].answered > 0 && drivers[1].answered > 0; }, 10000);
    stop = true;
    PumpUntil([&] { return finished == 2; }, 10000);
    JoinWithin(first, "the first caller's Runs", std::chrono::seconds(90));
    JoinWithin(second, "the second caller's Runs", std::chrono::seconds(90));

    EXPECT_EQ(ownerWrong, 0);
    int refused = 0;
    for (const Driver& driver : drivers) {
        SCOPED_TRACE(testing::PrintToString(driver.profile));
        EXPECT_EQ(driver.wrong, 0);
        EXPECT_EQ(driver.inside, 0);
        EXPECT_GT(driver.answered, 0);
        refused += driver.refused;
    }
    EXPECT_GT(refused, 0);
    EXPECT_EQ(Count(L"Error: Run() QELDCHECKAPPLICATION refused: this thread is running a command of another caller"),
              static_cast<size_t>(refused));
}

// While another apartment's Run is in progress on the owner's thread, a message that a third
// thread sends there makes the owner start a Run of its own: it carries the logical thread of
// the call the owner serves, yet it is nobody's answer, and it is refused.
struct SentRun {
    static inline ICAI_Call* object = nullptr;
    static inline FakeCallback* client = nullptr;
    static inline HRESULT result = E_PENDING;
    static LRESULT CALLBACK Window(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message != WM_APP) return DefWindowProcW(window, message, w, l);
        UniqueVariant out;
        result = RunCheck(object, client, *out.put());
        return 0;
    }
};

TEST_F(SharedObjectTest, ARunThatASentMessageStartsInsideAForeignRunIsRefused) {
    SentRun::object = object.get();
    SentRun::client = client.get();
    WNDCLASSW type{};
    type.lpfnWndProc = &SentRun::Window;
    type.lpszClassName = L"SharedObjectTestOwner";
    RegisterClassW(&type);
    HWND owner = CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);

    IStream* stream = ForOtherApartment(object.get());
    std::atomic<HRESULT> foreign{E_PENDING};
    std::atomic<bool> finished{false};
    std::thread driver([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        {
            ComPtr<ICAI_Call> proxy = FromOtherApartment(stream);
            ComPtr<FakeCallback> own;
            own.attach(FakeCallback::Create());
            own->AnswerForHostSession(profile + L"-foreign", L"1");
            // Another thread of the process sends the owner a message meanwhile.
            own->beforeAnswer[L"#(Appl:Profile)"] = [owner] { std::thread([owner] { SendMessageW(owner, WM_APP, 0, 0); }).join(); };
            UniqueVariant out;
            foreign = proxy ? RunCheck(proxy.get(), own.get(), *out.put()) : E_POINTER;
        }
        CoUninitialize();
        finished = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return finished.load(); }, 10000)) << "the foreign Run";
    JoinWithin(driver, "the foreign caller's Run");
    DestroyWindow(owner);
    EXPECT_EQ(foreign, S_OK);
    EXPECT_EQ(SentRun::result, E_FAIL);
    EXPECT_EQ(Count(L"Error: Run() QELDCHECKAPPLICATION refused: this thread is running a command of another caller"), 1u);
}

// The object in the multithreaded apartment, its client in this single-threaded one: the
// client's answer runs another command on the same object, which arrives on another thread
// of the object's apartment as the same caller and goes through.
TEST_F(SharedObjectTest, ClientReentersFromAnotherApartment) {
    IStream* stream = nullptr;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
        {
            ComPtr<ICAI_Call> created;
            if (SUCCEEDED(CCAI_Call::Create(nullptr, IID_ICAI_Call, created.put_void())))
                stream = ForOtherApartment(created.get());
        }
        WaitForSingleObject(done, INFINITE);  // the apartment lives while the test calls into it
        CoUninitialize();
    });
    PumpUntil([&] { return stream != nullptr; }, 5000);
    {
        ComPtr<ICAI_Call> proxy = FromOtherApartment(stream);
        ASSERT_TRUE(proxy);
        UniqueVariant inner;
        HRESULT innerResult = E_PENDING;
        client->beforeAnswer[L"#(Appl:Profile)"] = [&] {
            if (innerResult != E_PENDING) return;  // the inner Run asks too
            UniqueVariant args = ArgumentArray({L"QELDSETLOGLEVEL", L"2", L""});
            innerResult = proxy->Run(client.get(), args.get(), inner.put());
        };
        UniqueVariant outer;
        EXPECT_EQ(RunCheck(proxy.get(), client.get(), *outer.put()), S_OK);
        EXPECT_EQ(innerResult, S_OK);
        EXPECT_EQ(V_VT(&outer.get()), VT_I4);
        EXPECT_EQ(V_VT(&inner.get()), VT_I4);
        EXPECT_EQ(client->environment[L"RETVECTAProfile"], profile);
    }
    SetEvent(done);
    JoinWithin(owner, "the object's apartment thread");
    CloseHandle(done);
}

// A caller queued behind another caller's Run waits until its job's deadline, not longer.
TEST_F(SharedObjectTest, QueuedRunEndsAtTheJobDeadline) {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> holding{false};
    std::thread holder([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
        {
            ComPtr<FakeCallback> own;
            own.attach(FakeCallback::Create());
            own->AnswerForHostSession(profile, L"1");
            own->beforeAnswer[L"#(Appl:Profile)"] = [&] {
                holding = true;
                WaitForSingleObject(release, 10000);
            };
            UniqueVariant out;
            (void)RunCheck(object.get(), own.get(), *out.put());
        }
        CoUninitialize();
    });
    PumpUntil([&] { return holding.load(); }, 5000);
    client->environment[L"JobServerJobTimeout_time_t"] = std::to_wstring(_time64(nullptr) + 2);
    const DWORD begin = GetTickCount();
    UniqueVariant out;
    EXPECT_EQ(RunCheck(object.get(), client.get(), *out.put()), HR_TIMEOUT);
    const DWORD waited = GetTickCount() - begin;
    SetEvent(release);
    JoinWithin(holder, "the Run holding the object");
    CloseHandle(release);
    EXPECT_EQ(V_I4(&out.get()), 1);
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 4000u);
    EXPECT_THAT(Messages(), testing::Contains(testing::HasSubstr(L"for this job has exceeded while another caller's command ran")));
}

}  // namespace
