// QELDOPEN of a drawing that is already open in VectaSim, through Run, against a bare replay
// of exactly the host calls that Run makes, measured alternately in the same run.
#include "BenchClock.h"
#include "component/CCAI_Call.h"
#include "fakes/ApartmentPump.h"
#include "fakes/ArgumentArray.h"
#include "fakes/CSimProcess.h"
#include "fakes/FakeCallback.h"
#include "fakes/TempFolder.h"
#include "support/ResultMacros.h"
#include "support/UniqueBstr.h"
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The host calls of QELDOPEN of a drawing that is already open, made directly: find the
// instance, bring its window forward, check that it is idle, find the drawing among the
// open ones and activate it, then hand the add-in the client and the eleven symbols. The
// application is bound for its own interface, as the search asks for it.
HRESULT BareReplay(const std::wstring& profile, const std::wstring& path, ICAICallback* client) {
    ComPtr<IVectaApplication> application;
    RETURN_IF_FAILED(CSimProcess::Bind(L"QELDVecta17Instance", profile, application.put()));
    long window = 0;
    RETURN_IF_FAILED(application->get_HWND(&window));
    // The command brings the host window forward; so does the replay, as part of the same work.
    const HWND hostWindow = reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
    if (IsIconic(hostWindow)) ShowWindow(hostWindow, SW_RESTORE);
    SetForegroundWindow(hostWindow);
    UniqueBstr version;
    RETURN_IF_FAILED(application->get_Version(version.put()));
    ComPtr<IVectaDocument> active;
    RETURN_IF_FAILED(application->get_ActiveDocument(active.put()));
    ComPtr<IVectaState> state;
    RETURN_IF_FAILED(application->get_State(state.put()));
    VARIANT_BOOL idle = VARIANT_FALSE;
    RETURN_IF_FAILED(state->get_IsIdle(&idle));
    ComPtr<IVectaDocuments> documents;
    RETURN_IF_FAILED(application->get_Documents(documents.put()));
    long count = 0;
    RETURN_IF_FAILED(documents->get_Count(&count));
    ComPtr<IVectaDocument> found;
    for (long i = 0; i < count && !found; ++i) {
        VARIANT index;
        V_VT(&index) = VT_I4;
        V_I4(&index) = i;
        ComPtr<IVectaDocument> document;
        RETURN_IF_FAILED(documents->Item(index, document.put()));
        UniqueBstr name;
        VARIANT_BOOL readOnly = VARIANT_FALSE;
        RETURN_IF_FAILED(document->get_FullName(name.put()));
        RETURN_IF_FAILED(document->get_ReadOnly(&readOnly));
        if (CompareStringOrdinal(name.get(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL && !readOnly)
            found = std::move(document);
    }
    if (!found) return E_FAIL;
    RETURN_IF_FAILED(found->Activate());
    RETURN_IF_FAILED(application->get_Version(version.put()));
    ComPtr<IDispatch> object;
    RETURN_IF_FAILED(application->GetInterfaceObject(UniqueBstr(L"Derudir.VntApplication2.1").get(), object.put()));
    ComPtr<IVntAddIn> addIn;
    RETURN_IF_FAILED(object.query(addIn));
    RETURN_IF_FAILED(addIn->SetCAICallback(client));
    static const wchar_t* const symbols[] = {L"QELKEY",      L"EXTMEHR",           L"CreateLocalDrawing", L"PSXFilename",
                                             L"TitleIniFile", L"Title2VntIniFile", L"TitleImportIniFile", L"BOMIniFile",
                                             L"WSPATH",      L"TemplatePath",      L"ApplTemplatePath"};
    const UniqueBstr empty(L"");
    for (const wchar_t* symbol : symbols) RETURN_IF_FAILED(addIn->SetSymbol(UniqueBstr(symbol).get(), empty.get()));
    VARIANT_BOOL readOnly = VARIANT_FALSE;
    return found->get_ReadOnly(&readOnly);
}

// Commands per minute of a job server whose workers each run QELDOPEN of an open drawing
// on an object and client of their own, in the multithreaded apartment, count commands in all;
// profiles[k] and drawings[k] are worker k's.
double CommandsPerMinute(const std::vector<std::wstring>& profiles, const std::vector<std::wstring>& drawings, int count) {
    std::vector<int> failures(profiles.size(), 0);
    std::atomic<size_t> finished{0};
    std::vector<std::thread> workers;
    const double start = BenchClock::Now();
    for (size_t k = 0; k < profiles.size(); ++k)
        workers.emplace_back([&, k] {
            if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
            {
                ComPtr<FakeCallback> client;
                client.attach(FakeCallback::Create());
                client->AnswerForHostSession(profiles[k], L"0");
                ComPtr<ICAI_Call> call;
                UniqueVariant args = ArgumentArray({L"QELDOPEN", drawings[k], L""});
                if (FAILED(CCAI_Call::Create(nullptr, IID_ICAI_Call, call.put_void()))) ++failures[k];
                for (int i = 0; call && i < count / static_cast<int>(profiles.size()); ++i) {
                    UniqueVariant result;
                    client->records.clear();
                    if (FAILED(call->Run(client.get(), args.get(), result.put()))) ++failures[k];
                }
            }
            CoUninitialize();
            ++finished;
        });
    // The host may call the client it was handed last, this apartment's: served meanwhile.
    (void)PumpUntil([&] { return finished == workers.size(); }, 300000);
    for (std::thread& worker : workers) worker.join();
    const double seconds = BenchClock::Now() - start;
    return std::count(failures.begin(), failures.end(), 0) == static_cast<long>(failures.size()) ? count * 60.0 / seconds : -1.0;
}

int Bench() {
    if (FAILED(CSimProcess::RegisterAll())) {
        std::fprintf(stderr, "registration failed\n");
        return 1;
    }
    const std::wstring folder = CSimProcess::WorkFolder();
    const std::wstring profile = L"HostBench-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring trace = folder + L"\\hostbench.trace";
    const std::wstring drawing = folder + L"\\hostbench.vdr";
    DeleteFileW(trace.c_str());
    std::ofstream(drawing.c_str(), std::ios::binary) << "VECTA DRAWING 1\nKEY=Q-1\n";
    CSimProcess sim;
    if (FAILED(sim.Start(profile, L"R17", L"/idle 60 /trace \"" + trace + L"\""))) {
        std::fprintf(stderr, "VectaSim did not start\n");
        return 1;
    }
    ComPtr<FakeCallback> client;
    client.attach(FakeCallback::Create());
    client->AnswerForHostSession(profile, L"0");
    ComPtr<ICAI_Call> call;
    if (FAILED(CCAI_Call::Create(nullptr, IID_ICAI_Call, call.put_void()))) return 1;
    UniqueVariant args = ArgumentArray({L"QELDOPEN", drawing, L""});
    auto run = [&] {
        UniqueVariant result;
        client->records.clear();
        return call->Run(client.get(), args.get(), result.put());
    };
    if (FAILED(run())) {
        std::fprintf(stderr, "the first open failed\n");
        return 1;
    }
    const size_t before = TempFolder::ReadBytes(trace).size();
    if (FAILED(run())) return 1;
    const std::string calls = TempFolder::ReadBytes(trace).substr(before);
    if (FAILED(BareReplay(profile, drawing, client.get()))) {
        std::fprintf(stderr, "the replay failed\n");
        return 1;
    }
    const std::string replayed = TempFolder::ReadBytes(trace).substr(before + calls.size());
    const long hostCalls = static_cast<long>(std::count(calls.begin(), calls.end(), '\n'));
    std::printf("host calls per QELDOPEN: %ld traced; the replay makes the same calls: %s\n", hostCalls,
                replayed == calls ? "yes" : "NO");
    if (replayed != calls) std::printf("Run:\n%s\nreplay:\n%s", calls.c_str(), replayed.c_str());

    // One of each in turn, timed singly: the machine's load hits all alike, and the quickest
    // and the middle times are compared, and the middle of each round's own ratio, which a
    // load that changes over the run does not tilt. The third is the command under a job
    // server deadline, where the search starts no cancel thread.
    constexpr int kRounds = 120;
    const std::wstring deadline = std::to_wstring(_time64(nullptr) + 86400);
    std::vector<double> bare, dispatched, unattended;
    for (int i = 0; i < kRounds; ++i) {
        const double replay = BenchClock::Measure(1, [&] { return BareReplay(profile, drawing, client.get()); });
        const double command = BenchClock::Measure(1, run);
        client->environment[L"JobServerJobTimeout_time_t"] = deadline;
        const double withDeadline = BenchClock::Measure(1, run);
        client->environment.erase(L"JobServerJobTimeout_time_t");
        if (replay < 0 || command < 0 || withDeadline < 0) {
            std::fprintf(stderr, "a measured call failed\n");
            return 1;
        }
        bare.push_back(replay);
        dispatched.push_back(command);
        unattended.push_back(withDeadline);
    }
    auto roundRatio = [&](const std::vector<double>& times) {
        std::vector<double> ratios;
        for (int i = 0; i < kRounds; ++i) ratios.push_back(times[i] / bare[i]);
        std::sort(ratios.begin(), ratios.end());
        return ratios[kRounds / 2];
    };
    const double roundRatios[] = {1.0, roundRatio(dispatched), roundRatio(unattended)};
    for (std::vector<double>* times : {&bare, &dispatched, &unattended}) std::sort(times->begin(), times->end());
    int row = 0;
    auto report = [&](const char* name, const std::vector<double>& times) {
        std::printf("%-48s quickest %8.1f us (%.2fx), median %8.1f us (%.2fx), median of the rounds' ratios %.2fx\n",
                    name, times[0], times[0] / bare[0], times[kRounds / 2], times[kRounds / 2] / bare[kRounds / 2],
                    roundRatios[row++]);
    };
    report("bare replay of the host calls (baseline)", bare);
    report("Run QELDOPEN of the open drawing (goal 1.1x)", dispatched);
    report("the same under a job server deadline", unattended);

    // A job server's workers: one host runs one command at a time, whoever sends it.
    const std::wstring secondProfile = profile + L"-2", secondDrawing = folder + L"\\hostbench2.vdr";
    std::ofstream(secondDrawing.c_str(), std::ios::binary) << "VECTA DRAWING 1\nKEY=Q-2\n";
    CSimProcess secondSim;
    if (FAILED(secondSim.Start(secondProfile, L"R17", L"/idle 60"))) {
        std::fprintf(stderr, "the second VectaSim did not start\n");
        return 1;
    }
    constexpr int kCommands = 200;
    const double one = CommandsPerMinute({profile}, {drawing}, kCommands);
    const double two = CommandsPerMinute({profile, profile}, {drawing, drawing}, kCommands);
    const double twoProfiles = CommandsPerMinute({profile, secondProfile}, {drawing, secondDrawing}, kCommands);
    if (one < 0 || two < 0 || twoProfiles < 0) {
        std::fprintf(stderr, "a worker's command failed\n");
        return 1;
    }
    std::printf("job server, %d QELDOPEN: one worker %.0f/min; two workers, one profile %.0f/min (%.2fx); two workers, "
                "two profiles %.0f/min (%.2fx)\n",
                kCommands, one, two, two / one, twoProfiles, twoProfiles / one);
    return 0;
}

}  // namespace

int main() { return BenchClock::RunInApartment(Bench); }
