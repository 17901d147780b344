// The component DLL loaded by path, as COM loads it, without registration.
#include "component/CCAI_Call.h"
#include "fakes/ApartmentPump.h"
#include "fakes/ArgumentArray.h"
#include "fakes/CSimProcess.h"
#include "fakes/FakeCallback.h"
#include "fakes/HandleCensus.h"
#include "fakes/LogReader.h"
#include "fakes/TempFolder.h"
#include "fakes/WaitLimit.h"
#include "support/ComPtr.h"
#include "support/ResultMacros.h"
#include "support/UniqueHandle.h"
#include "support/UniqueVariant.h"
#include <QELDVecta17x.h>
#include <gmock/gmock.h>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

using ::testing::Contains;

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(WINAPI*)();

class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module = LoadLibraryW(L"Z:" COMPONENT_DLL);
        ASSERT_NE(module, nullptr);
        getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        canUnload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject(CLSID_CAI_Call, IID_IClassFactory, factory.put_void()), S_OK);
        return factory;
    }

    static inline HMODULE module = nullptr;
    static inline GetClassObjectFn getClassObject = nullptr;
    static inline CanUnloadFn canUnload = nullptr;
    TempFolder folder;
};

// An outer object that records what the aggregated inner object asks of it.
struct Outer : IUnknown {
    IUnknown* inner = nullptr;
    int queries = 0;
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        ++queries;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST_F(ModuleTest, ClassObjectOnlyForCaiCall) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(IID_ICAI_Call, IID_IClassFactory, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE);
    ComPtr<IClassFactory> first = Factory(), second = Factory();
    EXPECT_EQ(first.get(), second.get());  // one cached class object
}

TEST_F(ModuleTest, CreationRules) {
    ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ICAI_Call, nullptr), E_POINTER);
    Outer outer;
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_ICAI_Call, unknown.put_void()), CLASS_E_NOAGGREGATION);
    ComPtr<IStream> stream;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IStream, stream.put_void()), E_NOINTERFACE);
}

TEST_F(ModuleTest, IdentityAndInterfaces) {
    ComPtr<ICAI_Call> call;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_ICAI_Call, call.put_void()), S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(call.query(dispatch), S_OK);
    EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(call.get()));
    ComPtr<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(call.query(errorInfo), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_ICAI_Call), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    ComPtr<IUnknown> a, b;
    call.query(a);
    errorInfo.query(b);
    EXPECT_EQ(a.get(), b.get());
    ComPtr<IStream> stream;
    EXPECT_EQ(call.query(stream), E_NOINTERFACE);
    UINT count = 0;
    EXPECT_EQ(call->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(call->Reserved1(1), E_FAIL);
    EXPECT_EQ(call->Reserved2(1, 2, 3), E_FAIL);
    EXPECT_EQ(call->Reserved3(1), E_FAIL);
}

TEST_F(ModuleTest, AggregatedObjectDelegatesToOuter) {
    Outer outer;
    ComPtr<IUnknown> inner;
    ASSERT_EQ(Factory()->CreateInstance(&outer, IID_IUnknown, inner.put_void()), S_OK);
    outer.inner = inner.get();
    ComPtr<ICAI_Call> call;
    ASSERT_EQ(inner.query(call), S_OK);
    const LONG before = outer.refs;
    call->AddRef();
    EXPECT_EQ(outer.refs, before + 1);  // the interface counts on the outer object
    call->Release();
    ComPtr<IUnknown> identity;
    const int queries = outer.queries;
    EXPECT_EQ(call.query(identity), S_OK);
    EXPECT_EQ(identity.get(), &outer);
    EXPECT_GT(outer.queries, queries);
    call.reset();
    identity.reset();
}

TEST_F(ModuleTest, UnloadOnlyWithoutObjectsAndLocks) {
    ComPtr<IClassFactory> factory = Factory();
    ComPtr<ICAI_Call> call;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICAI_Call, call.put_void()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    call.reset();
    EXPECT_EQ(canUnload(), S_OK);
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnload(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(ModuleTest, ObjectsShareTheProcessWideSettings) {
    ComPtr<FakeCallback> client;
    client.attach(FakeCallback::Create());
    client->environment[L"_VNTXVER"] = L"530";
    ComPtr<ICAI_Call> first, second;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_ICAI_Call, first.put_void()), S_OK);
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_ICAI_Call, second.put_void()), S_OK);
    UniqueVariant result;
    EXPECT_EQ(first->Run(client.get(), ArgumentArray({L"QELDSETLOGLEVEL", L"1", L""}).get(), result.put()), S_OK);
    EXPECT_EQ(second->Run(client.get(), ArgumentArray({L"QELDCHECKAPPLICATION", L""}).get(), result.put()), S_OK);
    // The Info entry of the second object shows the threshold set through the first.
    EXPECT_THAT(LogReader().Messages(), Contains(L"Info: Run() QELDCHECKAPPLICATION"));
    EXPECT_EQ(client->RefCount(), 1);
}

DWORD ProcessHandleCount() { return static_cast<DWORD>(HandleCensus::Total(HandleCensus::Take())); }

// The component loaded by path for one client session, as COM loads it.
class LoadedComponent {
public:
    LoadedComponent() : m_module(LoadLibraryW(L"Z:" COMPONENT_DLL)) {
        EXPECT_NE(m_module, nullptr);
        if (!m_module) return;
        const auto getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
        m_canUnload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "DllCanUnloadNow")));
        EXPECT_EQ(getClassObject(CLSID_CAI_Call, IID_IClassFactory, m_factory.put_void()), S_OK);
        if (m_factory) {
            EXPECT_EQ(m_factory->CreateInstance(nullptr, IID_ICAI_Call, m_call.put_void()), S_OK);
        }
    }

    ICAI_Call* Call() const { return m_call.get(); }
    HRESULT Run(FakeCallback& client, const std::vector<std::wstring>& items) const {
        UniqueVariant result;
        return m_call ? m_call->Run(&client, ArgumentArray(items).get(), result.put()) : E_POINTER;
    }
    // Releases the object and the class factory; the module's answer to DllCanUnloadNow then.
    HRESULT ReleaseAll() {
        m_call.reset();
        m_factory.reset();
        return m_canUnload ? m_canUnload() : E_POINTER;
    }
    void FreeLibrary() { EXPECT_TRUE(::FreeLibrary(std::exchange(m_module, nullptr))); }

private:
    HMODULE m_module;
    CanUnloadFn m_canUnload = nullptr;
    ComPtr<IClassFactory> m_factory;
    ComPtr<ICAI_Call> m_call;
};

bool Mapped() { return GetModuleHandleW(L"Z:" COMPONENT_DLL) != nullptr; }

// The module's own answer, asked while it is mapped: no object, lock or thread of ours left.
bool Idle() {
    const HMODULE module = GetModuleHandleW(L"Z:" COMPONENT_DLL);
    const auto canUnload =
        module ? reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow"))) : nullptr;
    return canUnload && canUnload() == S_OK;
}

// A thread of its own that runs work (the thread that loads the module, as a job server's
// worker does) and lives on until the caller has run afterwards too.
template <class Work, class Afterwards>
void OnOtherThreadThen(Work work, Afterwards afterwards) {
    UniqueHandle worked(CreateEventW(nullptr, TRUE, FALSE, nullptr)), end(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread thread([&] {
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            work();
            CoUninitialize();
        }
        SetEvent(worked.get());
        WaitForSingleObject(end.get(), INFINITE);
    });
    WaitWithin(worked.get(), "the work on the other thread");
    afterwards();
    SetEvent(end.get());
    thread.join();
}

// A client that searches for a host that never comes (its cancel thread included).
ComPtr<FakeCallback> SearchingClient(const wchar_t* startupWait) {
    ComPtr<FakeCallback> client;
    client.attach(FakeCallback::Create());
    client->environment[L"_VNTXVER"] = L"530";
    client->answers[L"#(Appl:Profile)"] = L"NoSuchHost";
    client->answers[L"#(Appl:VectaVersion)"] = L"R17.2";
    client->answers[L"#(Appl:WaitForStartup)"] = startupWait;
    return client;
}

class ModuleUnloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(CSimProcess::RegisterAll(), S_OK);  // the moniker parses; the search waits
    }
    static void TearDownTestSuite() { CoUninitialize(); }

    TempFolder folder;
};

// A module asked only for its class object is not pinned and unloads: cycle after cycle it
// keeps no more thread slots than a DLL that only loads its runtime (first in this process:
// an object would pin the module).
TEST_F(ModuleUnloadTest, ClassRequestCyclesKeepNoMoreThreadSlotsThanTheRuntimeAlone) {
    constexpr int kCycles = 20;
    const auto lowestFree = [] {
        const DWORD index = TlsAlloc();
        TlsFree(index);
        return static_cast<LONG>(index);
    };
    const auto growth = [&](const wchar_t* path, bool askForClass) {
        const auto cycle = [&] {
            HMODULE module = LoadLibraryW(path);
            ASSERT_NE(module, nullptr);
            if (askForClass) {
                const auto getClassObject = reinterpret_cast<GetClassObjectFn>(
                    reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
                ComPtr<IClassFactory> factory;
                EXPECT_EQ(getClassObject(CLSID_CAI_Call, IID_IClassFactory, factory.put_void()), S_OK);
            }
            EXPECT_TRUE(::FreeLibrary(module));
        };
        cycle();
        const LONG before = lowestFree();
        for (int i = 0; i < kCycles; ++i) cycle();
        return lowestFree() - before;
    };
    const LONG runtime = growth(L"Z:" RUNTIME_ONLY_DLL, false);
    EXPECT_LE(growth(L"Z:" COMPONENT_DLL, true), runtime);
    EXPECT_FALSE(Mapped());
}

// Load and a search on one thread, release and unload on another while the loading thread
// lives on: cycle after cycle the process keeps no more handles than with a DLL of the same
// toolchain that only loads and unloads its runtime (which leaves its record of each loading
// thread behind, two handles). The component is pinned from its first object on, so its
// runtime is loaded once and frees each thread's record when that thread ends. The loading
// threads join a multithreaded apartment that lives through the test, as a job server's does:
// Wine keeps two handles of each such apartment that bound a moniker and then ended.
TEST_F(ModuleUnloadTest, LoadUnloadCyclesKeepNoMoreHandlesThanTheRuntimeAlone) {
    constexpr int kCycles = 20;
    UniqueHandle endApartment(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread apartment([&] {
        const HRESULT entered = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        WaitForSingleObject(endApartment.get(), INFINITE);
        if (SUCCEEDED(entered)) CoUninitialize();
    });
    auto growth = [](auto cycle) {
        cycle();
        const DWORD baseline = ProcessHandleCount();
        EXPECT_GT(baseline, 0u);
        for (int i = 0; i < kCycles; ++i) cycle();
        return static_cast<LONG>(ProcessHandleCount() - baseline);
    };
    const LONG runtime = growth([] {
        HMODULE module = nullptr;
        OnOtherThreadThen([&] { module = LoadLibraryW(L"Z:" RUNTIME_ONLY_DLL); },
                          [&] { EXPECT_TRUE(module && FreeLibrary(module)); });
    });

    ComPtr<FakeCallback> client = SearchingClient(L"50");
    const LONG component = growth([&] {
        std::unique_ptr<LoadedComponent> component;
        OnOtherThreadThen(
            [&] {
                component = std::make_unique<LoadedComponent>();
                EXPECT_TRUE(FAILED(component->Run(*client.get(), {L"QELDOPEN", L"C:\\w\\a.vdr", L""})));
            },
            [&] {
                EXPECT_TRUE(PumpUntil([&] { return component->ReleaseAll() == S_OK; }, 5000));
                component->FreeLibrary();
                EXPECT_TRUE(Mapped());  // pinned: it stays until the process ends
            });
    });
    SetEvent(endApartment.get());
    apartment.join();
    EXPECT_LE(component, runtime);
    EXPECT_EQ(component, 0);
    EXPECT_EQ(client->RefCount(), 1);
}

// A client that frees the library while a thread of ours still runs: the module stays mapped
// (pinned) and the thread ends in it. Once with the cancel thread on its way out after a search,
// once with a timed open still held by the host; fifty times each.
TEST_F(ModuleUnloadTest, FreeingTheLibraryWhileAThreadOfOursRunsDoesNotCrash) {
    constexpr int kRuns = 50;
    ComPtr<FakeCallback> searching = SearchingClient(L"20");
    searching->answers[L"$(JobServerRunning:-0)"] = L"1";  // quiet: six questions answered Yes
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        LoadedComponent component;
        EXPECT_TRUE(FAILED(component.Run(*searching.get(), {L"QELDOPEN", L"C:\\w\\a.vdr", L""})));
        (void)component.ReleaseAll();
        component.FreeLibrary();
        // The cancel thread ends by itself: it holds nothing of this apartment's.
        EXPECT_TRUE(PumpUntil([&] { return Idle() && searching->RefCount() == 1; }, 5000));
        EXPECT_TRUE(Mapped());
    }

    const std::wstring profile = L"Unload-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring control = folder.File(L"control.json");
    TempFolder::WriteBytes(control, "{}");
    CSimProcess host;
    ASSERT_EQ(host.Start(profile, L"R17", L"/idle 0 /control \"" + control + L"\""), S_OK);
    const std::wstring drawing = folder.File(L"held.vdr");
    TempFolder::WriteBytes(drawing, "VECTA DRAWING 1\nKEY=Q-1\n");
    ComPtr<FakeCallback> publishing;
    publishing.attach(FakeCallback::Create());
    publishing->AnswerForHostSession(profile, L"0");
    publishing->answers[L"$(WSPATH:/+)"] = folder.Path() + L"\\";  // the lock's folder
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        TempFolder::WriteBytes(control, R"({"openHold": true})");
        LoadedComponent component;
        // The object is the DLL's own; its open limit is shortened as in-process tests do.
        if (component.Call()) CCAI_Call::FromInterface(component.Call())->SetOpenTimeLimit(300);
        EXPECT_EQ(component.Run(*publishing.get(), {L"QELDPUBLISHPSX", drawing, L""}), HR_TIMEOUT);
        EXPECT_EQ(component.ReleaseAll(), S_FALSE);
        component.FreeLibrary();
        TempFolder::WriteBytes(control, "{}");
        // Once the host has answered, this apartment's next command releases what it parked.
        EXPECT_TRUE(PumpUntil(
            [&] {
                LoadedComponent next;
                (void)next.Run(*publishing.get(), {L"QELDCHECKAPPLICATION", L""});
                (void)next.ReleaseAll();
                next.FreeLibrary();
                return Idle();
            },
            10000));
    }
    EXPECT_EQ(publishing->RefCount(), 1);
}

}  // namespace
