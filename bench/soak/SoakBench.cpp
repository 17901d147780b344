// A job server's day, compressed: two client threads, each in an apartment of its own with an
// integration object of its own, run random commands against one profile while a third
// thread injects host faults and kills hosts. Every result must come back as VT_I4.
//
// The process's handles are counted by type at two quiet points (no host running, no command
// in progress): after a warm-up and at the end. The same load made without the component (the
// same apartments, the same host calls made directly, an open on a worker apartment of its
// own as the component's timed open does) measures what Wine itself keeps per ended host; the
// component's growth is compared against it.
//
//   bench_soak.exe <seconds>               both loads, one process each, and the comparison
//   bench_soak.exe <seconds> component|direct   one load, its figures on one line
//
// HandleOrigins.py reads a Wine trace of one load and says who made each handle it kept.
#include "BenchClock.h"
#include "component/CCAI_Call.h"
#include "fakes/ArgumentArray.h"
#include "fakes/CShellLauncher.h"
#include "fakes/CSimProcess.h"
#include "fakes/CapturedProcess.h"
#include "fakes/FakeCallback.h"
#include "fakes/HandleCensus.h"
#include "fakes/TempFolder.h"
#include "host/CVectaArgument.h"
#include "support/ApartmentWait.h"
#include "support/UniqueBstr.h"
#include "support/UniqueHandle.h"
#include "support/UnreadMarshalData.h"
#include "support/UniqueVariant.h"
#include <tlhelp32.h>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kClients = 2;
constexpr int kDrawings = 12;
constexpr DWORD kOpenLimitMs = 1000;  // a hung open is given up after this, in both loads
constexpr DWORD kHangMs = 2500;
constexpr long kJobSeconds = 60;
// A command still running this long after its job's deadline hangs.
constexpr long kHangAfterDeadlineMs = 30000;

// The commands both loads draw from, in the same shares; the direct load makes each one's host
// calls itself.
enum class CommandKind { Open, OpenReadOnly, Available, Check, SendLine, Restore, Quit };
constexpr unsigned kCommandCount = 7;
constexpr const wchar_t* kCommandNames[] = {L"QELDOPEN", L"QELDOPENREADONLY", L"QELDISAVAILABLEFORPUBLISHPSX",
                                            L"QELDCHECKAPPLICATION", L"COMMAND", L"QELDRESTORE", L"QELDQUIT"};
static_assert(std::size(kCommandNames) == kCommandCount);

CommandKind Draw(std::mt19937& random) {
    const unsigned pick = random() % (kCommandCount + 2);  // opens come three times as often
    return pick >= kCommandCount ? CommandKind::Open : static_cast<CommandKind>(pick);
}

// What both loads share: the profile, its drawings, the fault file and the quiet points.
struct Load {
    bool component = true;
    std::wstring profile;
    std::wstring controlFile;
    std::vector<std::wstring> drawings;
    std::atomic<bool> stop{false};
    std::atomic<bool> pause{false};
    std::atomic<int> paused{0};
    std::atomic<long> commands{0}, notI4{0}, hangs{0}, longest{0}, starts{0};
    std::mutex startLock;  // the direct load starts one host at a time, as the component does

    std::wstring OpenArgument() const {
        return L"/profile \"" + profile + L"\" /release R17 /idle 30 /control \"" + controlFile + L"\"";
    }
};

// The simulator processes this process started, directly or through the client's shell.
std::vector<DWORD> OwnHosts() {
    std::vector<DWORD> hosts;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId() && _wcsicmp(entry.szExeFile, L"VectaSim.exe") == 0)
            hosts.push_back(entry.th32ProcessID);
    return hosts;
}

void KillHosts() {
    for (DWORD id : OwnHosts()) {
        UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process.valid()) continue;
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
    }
}

void WriteFaults(const Load& load, const char* json) { TempFolder::WriteBytes(load.controlFile, json); }

// Starts a host as the client's shell does. No handle of it is kept (the soak finds its hosts
// by their parent), so that the count sees only what the loads keep.
long StartHost(Load& load, const std::wstring& program, const std::wstring& arguments) {
    if (!CShellLauncher::Start(program, arguments).valid()) return -1;
    ++load.starts;
    return 0;
}

// One command of the component's load on its own object; the client answers as a job
// server's does (quiet, a deadline per job) and starts hosts through its shell.
void ComponentCommand(Load& load, ICAI_Call* object, FakeCallback& client, std::mt19937& random) {
    const CommandKind command = Draw(random);
    std::wstring first = command == CommandKind::SendLine ? L"REGEN" : L"";
    if (command == CommandKind::Open || command == CommandKind::OpenReadOnly)
        first = load.drawings[random() % load.drawings.size()];
    client.environment[L"JobServerJobTimeout_time_t"] = std::to_wstring(_time64(nullptr) + kJobSeconds);
    UniqueVariant args = ArgumentArray({kCommandNames[static_cast<unsigned>(command)], first, L""});
    UniqueVariant out;
    (void)object->Run(&client, args.get(), out.put());
    if (V_VT(&out.get()) != VT_I4) ++load.notI4;
    client.records.clear();
}

// The host calls of the direct load, made as the component makes them: the instance found
// anew through its moniker for each command and held until the next one finds it again (the
// reference a killed host leaves behind is released then), a drawing looked for among the
// open ones and otherwise opened on a worker apartment that is given up at the limit, and the
// add-in handed the client.
class DirectClient {
public:
    explicit DirectClient(Load& load) : m_load(load) {}

    void Command(std::mt19937& random, ICAICallback* client) {
        const CommandKind command = Draw(random);
        if (command == CommandKind::Check) return;  // asks only the client
        if (FAILED(Connect())) return;
        IVectaApplication* application = m_held.get();
        long window = 0;
        (void)application->get_HWND(&window);
        if (command == CommandKind::Open || command == CommandKind::OpenReadOnly) {
            ComPtr<IVectaState> state;
            VARIANT_BOOL idle = VARIANT_FALSE;
            if (SUCCEEDED(application->get_State(state.put()))) (void)state->get_IsIdle(&idle);
            Open(application, m_load.drawings[random() % m_load.drawings.size()], client);
        } else if (command == CommandKind::Available) {
            ComPtr<IVectaDocuments> documents;
            long count = 0;
            if (SUCCEEDED(application->get_Documents(documents.put()))) (void)documents->get_Count(&count);
        } else if (command == CommandKind::SendLine) {
            ComPtr<IVectaDocument> active;
            if (SUCCEEDED(application->get_ActiveDocument(active.put())) && active)
                (void)active->SendCommand(UniqueBstr(L"REGEN").get());
        } else if (command == CommandKind::Quit) {
            ComPtr<IVectaDocument> active;  // a host with a drawing open is left running
            if (FAILED(application->get_ActiveDocument(active.put())) || !active) (void)application->Quit();
        }
    }

private:
    HRESULT Bind() {
        ComPtr<IBindCtx> context;
        ComPtr<IMoniker> moniker;
        ComPtr<IUnknown> object;
        ULONG eaten = 0;
        const std::wstring name = L"QELDVecta17Instance:" + m_load.profile;
        if (FAILED(CreateBindCtx(0, context.put())) ||
            FAILED(MkParseDisplayName(context.get(), name.c_str(), &eaten, moniker.put())))
            return E_FAIL;
        if (FAILED(moniker->BindToObject(context.get(), nullptr, IID_IUnknown, object.put_void())) || !object)
            return E_FAIL;
        ComPtr<IVectaApplication> application;
        (void)object.query(application);
        m_held = std::move(application);  // the reference held before goes only now
        return m_held ? S_OK : E_NOINTERFACE;
    }

    HRESULT Connect() {
        if (SUCCEEDED(Bind())) return S_OK;
        std::lock_guard<std::mutex> lock(m_load.startLock);
        if (SUCCEEDED(Bind())) return S_OK;
        if (StartHost(m_load, CSimProcess::SimPath(), m_load.OpenArgument()) != 0) return E_FAIL;
        for (int i = 0; i < 200; ++i) {
            if (SUCCEEDED(Bind())) return S_OK;
            Sleep(100);
        }
        return E_FAIL;
    }

    struct Worker {
        IStream* stream = nullptr;
        std::wstring path;
    };

    static DWORD WINAPI OpenOnWorker(void* parameter) {
        std::unique_ptr<Worker> worker(static_cast<Worker*>(parameter));
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
        {
            ComPtr<IVectaApplication> application;
            ComPtr<IVectaDocuments> documents;
            ComPtr<IVectaDocument> document;
            if (SUCCEEDED(
                    CoGetInterfaceAndReleaseStream(worker->stream, IID_IVectaApplication, application.put_void())) &&
                SUCCEEDED(application->get_Documents(documents.put())))
                (void)documents->Open(UniqueBstr(worker->path).get(), CVectaArgument::Index(0),
                                      CVectaArgument::Index(0), document.put());
        }
        CoUninitialize();
        return 0;
    }

    static bool FindOpen(IVectaApplication* application, const std::wstring& path) {
        ComPtr<IVectaDocuments> documents;
        long count = 0;
        if (FAILED(application->get_Documents(documents.put())) || FAILED(documents->get_Count(&count))) return false;
        for (long i = 0; i < count; ++i) {
            ComPtr<IVectaDocument> document;
            UniqueBstr name;
            if (SUCCEEDED(documents->Item(CVectaArgument::Index(i), document.put())) &&
                SUCCEEDED(document->get_FullName(name.put())) && _wcsicmp(name.view().data(), path.c_str()) == 0)
                return SUCCEEDED(document->Activate());
        }
        return false;
    }

    void Open(IVectaApplication* application, const std::wstring& path, ICAICallback* client) {
        if (!FindOpen(application, path)) {
            auto worker = std::make_unique<Worker>();
            worker->path = path;
            if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IVectaApplication, application, &worker->stream)))
                return;
            UniqueHandle thread(CreateThread(nullptr, 0, &OpenOnWorker, worker.get(), 0, nullptr));
            if (!thread.valid()) {
                ReleaseUnreadMarshalData(worker->stream);  // the worker never started: ours to free
                return;
            }
            (void)worker.release();  // the worker owns it now
            if (!WaitServingCalls(thread.get(), kOpenLimitMs)) return;
        }
        ComPtr<IVectaDocument> active;
        UniqueBstr name;
        ComPtr<IDispatch> object;
        ComPtr<IVntAddIn> addIn;
        if (FAILED(application->get_ActiveDocument(active.put())) || !active ||
            FAILED(active->get_FullName(name.put())) ||
            FAILED(application->GetInterfaceObject(UniqueBstr(L"Derudir.VntApplication2.1").get(), object.put())) ||
            FAILED(object.query(addIn)) || FAILED(addIn->SetCAICallback(client)))
            return;
        for (const wchar_t* symbol : {L"QELKEY", L"WSPATH", L"TemplatePath"})
            (void)addIn->SetSymbol(UniqueBstr(symbol).get(), UniqueBstr(L"").get());
    }

    Load& m_load;
    ComPtr<IVectaApplication> m_held;
};

void ClientThread(Load& load, unsigned seed) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
    {
        std::mt19937 random(seed);
        ComPtr<FakeCallback> client;
        client.attach(FakeCallback::Create());
        client->AnswerForHostSession(load.profile, L"-1");
        client->answers[L"#(Appl:ApplicationName)"] = L"Vecta";
        client->answers[L"#(Appl:ExeFileName)"] = CSimProcess::SimPath();
        client->answers[L"#(Appl:OpenArgument)"] = load.OpenArgument();
        client->answers[L"$(JobServerRunning:-0)"] = L"1";
        client->commands[L"___Shell"] = [&load](FakeCallback&, const std::wstring& command) {
            const std::vector<std::wstring> fields = CShellLauncher::QuotedFields(command);
            return fields.size() < 2 ? -1L : StartHost(load, fields[0], fields[1]);
        };
        ComPtr<ICAI_Call> object;
        if (load.component && SUCCEEDED(CCAI_Call::Create(nullptr, IID_ICAI_Call, object.put_void())))
            CCAI_Call::FromInterface(object.get())->SetOpenTimeLimit(kOpenLimitMs);
        DirectClient direct(load);
        while (!load.stop) {
            if (load.pause) {
                ++load.paused;
                while (load.pause && !load.stop) (void)WaitServingCalls(GetCurrentThread(), 50);
                --load.paused;
                continue;
            }
            const DWORD begin = GetTickCount();
            if (object)
                ComponentCommand(load, object.get(), *client.get(), random);
            else
                direct.Command(random, client.get());
            ++load.commands;
            const long took = static_cast<long>(GetTickCount() - begin);
            if (took > kJobSeconds * 1000 + kHangAfterDeadlineMs) ++load.hangs;
            for (long longest = load.longest; took > longest && !load.longest.compare_exchange_weak(longest, took);) {
            }
        }
        object.reset();
    }
    CoUninitialize();
}

// A quiet point: no command in progress, every host ended, then the count. A command that
// does not end within its job's time and the margin hangs: the soak ends there, failed.
HandleCensus::Counts QuietCensus(Load& load) {
    load.pause = true;
    for (DWORD begin = GetTickCount(); load.paused < kClients; Sleep(20)) {
        if (GetTickCount() - begin < kJobSeconds * 1000 + kHangAfterDeadlineMs) continue;
        std::printf("%s load: a command hangs\n", load.component ? "component" : "direct");
        std::fflush(stdout);
        ExitProcess(1);
    }
    KillHosts();
    Sleep(500);  // the ended hosts' connections are noticed
    HandleCensus::Counts counts = HandleCensus::Take();
    load.pause = false;
    return counts;
}

int RunLoad(bool component, DWORD seconds) {
    if (FAILED(CSimProcess::RegisterAll())) {
        std::fprintf(stderr, "registration failed\n");
        return 1;
    }
    TempFolder folder;
    Load load;
    load.component = component;
    load.profile = L"Soak-" + std::to_wstring(GetCurrentProcessId());
    load.controlFile = folder.File(L"faults.json");
    for (int i = 0; i < kDrawings; ++i) {
        load.drawings.push_back(folder.File(L"soak" + std::to_wstring(i) + L".vdr"));
        TempFolder::WriteBytes(load.drawings.back(), "VECTA DRAWING 1\nKEY=Q-" + std::to_string(i) + "\n");
    }
    WriteFaults(load, "{}");

    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) clients.emplace_back(ClientThread, std::ref(load), 1000u + i);
    // Faults and kills every one to three seconds; a hang lasts longer than the open's limit.
    static const char* const kFaults[] = {
        "{}", "{}", "{\"openHangMs\": 2500}", "{\"exitIn\": \"Documents.Open\"}", "{\"openFails\": \"0x80004005\"}",
        "{\"exitIn\": \"Application.Documents\"}", "{\"commandBusyMs\": 300, \"rejectWhileBusy\": true}"};
    static_assert(kHangMs > kOpenLimitMs);
    std::mt19937 random(7);
    long kills = 0;
    const DWORD warmUp = seconds * 1000 / 6, begin = GetTickCount();
    HandleCensus::Counts afterWarmUp;
    bool warm = false;
    while (GetTickCount() - begin < seconds * 1000) {
        Sleep(1000 + random() % 2000);
        if (!warm && GetTickCount() - begin >= warmUp) {
            afterWarmUp = QuietCensus(load);
            load.starts = 0;  // every host started from here on has ended at the last count
            kills = 0;
            warm = true;
            continue;
        }
        if (random() % 4 == 0) {
            KillHosts();
            ++kills;
        } else {
            WriteFaults(load, kFaults[random() % std::size(kFaults)]);
        }
    }
    WriteFaults(load, "{}");
    const HandleCensus::Counts atEnd = QuietCensus(load);
    load.stop = true;
    for (std::thread& client : clients) client.join();
    KillHosts();

    std::printf("%s load: %lu s, %d threads, %ld commands, %ld results not VT_I4, %ld past their job's time, "
                "longest %ld ms, %ld hosts started and ended after the warm-up (%ld kills by the soak)\n",
                component ? "component" : "direct", static_cast<unsigned long>(seconds), kClients, load.commands.load(),
                load.notI4.load(), load.hangs.load(), load.longest.load(), load.starts.load(), kills);
    std::printf("growth %s:", component ? "component" : "direct");
    for (const auto& [type, count] : HandleCensus::Growth(afterWarmUp, atEnd))
        std::printf(" %ls %+ld", type.c_str(), count);
    std::printf(" | total %+ld | hosts %ld\n", HandleCensus::Total(atEnd) - HandleCensus::Total(afterWarmUp),
                load.starts.load());
    return load.notI4 == 0 && load.hangs == 0 ? 0 : 1;
}

// "growth <load>: ... | total <n> | hosts <h>" of a load's own output.
bool ReadGrowth(const std::string& output, long& total, long& hosts) {
    const size_t at = output.find("| total ");
    return at != std::string::npos && std::sscanf(output.c_str() + at, "| total %ld | hosts %ld", &total, &hosts) == 2;
}

int Compare(DWORD seconds) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    TempFolder folder;
    long total[2] = {}, hosts[2] = {};
    int code = 0;
    const wchar_t* const loads[] = {L"component", L"direct"};
    for (int i = 0; i < 2; ++i) {
        const CapturedProcess load =
            CapturedProcess::Run(L"\"" + std::wstring(self) + L"\" " + std::to_wstring(seconds) + L" " + loads[i],
                                 folder.Path(), L"load.txt", (seconds + 120) * 1000);
        std::fputs(load.output.c_str(), stdout);
        if (load.exitCode != 0 || !ReadGrowth(load.output, total[i], hosts[i])) {
            std::fprintf(stderr, "the %ls load failed (exit code %lu)\n", loads[i], load.exitCode);
            code = 1;
        }
    }
    if (code != 0) return code;
    // The loads end hosts at their own pace, so they are compared per ended host.
    const double perHost[2] = {hosts[0] ? double(total[0]) / hosts[0] : 0.0,
                               hosts[1] ? double(total[1]) / hosts[1] : 0.0};
    std::printf("handles kept per ended host: component %.1f, the same calls without it (Wine's own) %.1f (%.2fx)\n",
                perHost[0], perHost[1], perHost[1] > 0 ? perHost[0] / perHost[1] : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 60;
    if (argc > 2) {
        const std::string mode = argv[2];
        return BenchClock::RunInApartment([&] { return RunLoad(mode == "component", seconds); });
    }
    return BenchClock::RunInApartment([&] { return Compare(seconds); });
}
