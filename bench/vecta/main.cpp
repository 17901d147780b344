// The cost of one cross-process call to VectaSim and of one instance-moniker bind, each also
// as a multiple of an in-process interface call measured in the same run; and a connection
// that finds the running host at once, against one bind, the same client calls and a bare
// thread start (the search's cancel thread).
#include "BenchClock.h"
#include "CBaselineState.h"
#include "fakes/CSimProcess.h"
#include "client/CVantorApplication.h"
#include "fakes/FakeCallback.h"
#include "host/CApplicationManager.h"
#include "support/CUtils.h"
#include "support/UniqueBstr.h"
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The client calls one connection made, made again directly.
HRESULT Replay(FakeCallback& client, const std::vector<FakeCallback::Record>& calls) {
    for (const FakeCallback::Record& call : calls) {
        UniqueBstr text(call.text), answer;
        if (call.operation == L"Prepare") {
            (void)client.Prepare(text.get(), answer.put());
        } else if (call.operation == L"GetMessageText") {
            (void)client.GetMessageText(text.get(), answer.put());
        } else {
            LONG result = 0;
            (void)client.Call(text.get(), UniqueBstr(call.arguments).get(), nullptr, &result);
        }
    }
    return S_OK;
}

HRESULT BindOnce(const std::wstring& displayName) {
    ComPtr<IBindCtx> context;
    HRESULT hr = CreateBindCtx(0, context.put());
    ULONG eaten = 0;
    ComPtr<IMoniker> moniker;
    if (SUCCEEDED(hr)) hr = MkParseDisplayName(context.get(), displayName.c_str(), &eaten, moniker.put());
    ComPtr<IUnknown> object;
    if (SUCCEEDED(hr)) hr = moniker->BindToObject(context.get(), nullptr, IID_IUnknown, object.put_void());
    return SUCCEEDED(hr) && !object ? E_FAIL : hr;
}

DWORD WINAPI DoNothing(void*) { return 0; }

// A thread that ends at once, not waited for, as the search does not wait for its own.
HRESULT StartBareThread() {
    HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
    if (!thread) return HRESULT_FROM_WIN32(GetLastError());
    CloseHandle(thread);
    return S_OK;
}

// First-pass connection (the search with its cancel thread) against one bind, the same
// client calls and a bare thread start; rounds alternate, and the best round of each counts.
void MeasureConnection(const std::wstring& profile) {
    ComPtr<FakeCallback> client;
    client.attach(FakeCallback::Create());
    client->answers[L"#(Appl:Profile)"] = profile;
    client->answers[L"#(Appl:VectaVersion)"] = L"R17.2";
    client->answers[L"#(Appl:ApplicationName)"] = L"Vecta";
    client->answers[L"#(Appl:WaitForStartup)"] = L"60000";
    CUtils::Instance().SetLogThreshold(0);
    CVantorApplication& session = CVantorApplication::Instance();
    if (FAILED(session.SetCallback(client.get()))) return;

    auto connect = [] {
        CApplicationManager manager;
        ComPtr<IUnknown> object;
        const HRESULT hr = manager.LocateApplication(object, 1, 0);
        return SUCCEEDED(hr) && !object ? E_FAIL : hr;
    };
    client->records.clear();
    if (FAILED(connect())) {
        std::fprintf(stderr, "the connection failed\n");
        return;
    }
    const std::vector<FakeCallback::Record> calls = client->records;
    const std::wstring displayName = L"QELDVecta17Instance:" + profile;
    auto bindAndCalls = [&] {
        const HRESULT hr = Replay(*client.get(), calls);
        return SUCCEEDED(hr) ? BindOnce(displayName) : hr;
    };
    auto baseline = [&] {
        const HRESULT hr = bindAndCalls();
        return SUCCEEDED(hr) ? StartBareThread() : hr;
    };
    // What handing the callback to the cancel thread on every connection would add.
    auto marshal = [&] {
        IStream* stream = nullptr;
        HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_ICAICallback, session.GetCallback(), &stream);
        if (SUCCEEDED(hr)) {
            CoReleaseMarshalData(stream);
            stream->Release();
        }
        return hr;
    };

    constexpr int kRounds = 21;
    double bestConnect = 1e30, bestBaseline = 1e30, bestBindAndCalls = 1e30, bestThread = 1e30, bestMarshal = 1e30;
    std::vector<double> roundRatios;
    for (int round = 0; round < kRounds; ++round) {
        client->records.clear();
        const double base = BenchClock::Measure(30, baseline);
        client->records.clear();
        const double connection = BenchClock::Measure(30, connect);
        client->records.clear();
        bestBindAndCalls = std::min(bestBindAndCalls, BenchClock::Measure(30, bindAndCalls));
        bestThread = std::min(bestThread, BenchClock::Measure(30, StartBareThread));
        bestMarshal = std::min(bestMarshal, BenchClock::Measure(30, marshal));
        if (base < 0 || connection < 0) break;
        bestBaseline = std::min(bestBaseline, base);
        bestConnect = std::min(bestConnect, connection);
        roundRatios.push_back(connection / base);
    }
    session.ReleaseCallback();
    if (roundRatios.size() != kRounds || bestBindAndCalls < 0 || bestThread < 0 || bestMarshal < 0) {
        std::fprintf(stderr, "a measured connection failed\n");
        return;
    }
    std::sort(roundRatios.begin(), roundRatios.end());
    std::printf("bind + the same %2zu client calls:          %8.1f us\n", calls.size(), bestBindAndCalls);
    std::printf("bare thread start:                        %8.1f us\n", bestThread);
    std::printf("bind + calls + thread start (baseline):   %8.1f us\n", bestBaseline);
    std::printf("first-pass connection:                    %8.1f us  (%.2fx baseline, median of the rounds' ratios "
                "%.2fx; goal 1.1x)\n",
                bestConnect, bestConnect / bestBaseline, roundRatios[kRounds / 2]);
    std::printf("callback marshalled for a thread:         %8.1f us  (not made on a first-pass connection)\n",
                bestMarshal);
}

int Run() {
    if (FAILED(CSimProcess::RegisterAll())) {
        std::fprintf(stderr, "registration failed\n");
        return 1;
    }
    const std::wstring profile = L"Bench-" + std::to_wstring(GetCurrentProcessId());
    CSimProcess sim;
    if (FAILED(sim.Start(profile, L"R17"))) {
        std::fprintf(stderr, "VectaSim did not start\n");
        return 1;
    }
    ComPtr<IVectaState> remote;
    if (FAILED(sim.App()->get_State(remote.put()))) return 1;
    IVectaState* local = CBaselineState::Instance();
    VARIANT_BOOL idle = VARIANT_FALSE;

    const double inProcess = BenchClock::Measure(1000000, [&] { return local->get_IsIdle(&idle); });
    const double crossProcess = BenchClock::Measure(2000, [&] { return remote->get_IsIdle(&idle); });
    const double bind = BenchClock::Measure(300, [&] {
        ComPtr<IVectaApplication> app;
        return CSimProcess::Bind(L"QELDVecta17Instance", profile, app.put());
    });
    if (inProcess <= 0 || crossProcess < 0 || bind < 0) {
        std::fprintf(stderr, "a measured call failed\n");
        return 1;
    }
    std::printf("in-process call (baseline):   %10.4f us\n", inProcess);
    std::printf("cross-process call:           %10.1f us  (%.0fx baseline)\n", crossProcess, crossProcess / inProcess);
    std::printf("moniker parse + bind:         %10.1f us  (%.0fx baseline, %.1fx a cross-process call)\n", bind,
                bind / inProcess, bind / crossProcess);
    MeasureConnection(profile);
    return 0;
}

}  // namespace

int main() { return BenchClock::RunInApartment(Run); }
