// What Run costs beyond the client calls it must make: QELDCHECKAPPLICATION at log level 0
// against a bare loop making exactly the same calls on the same client object, measured
// alternately in the same run. Also counts the component's heap allocations per Run.
#include "BenchClock.h"
#include "CBenchCallback.h"
#include "component/CCAI_Call.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <vector>

namespace {

long g_allocations = 0;

// The client calls of one QELDCHECKAPPLICATION: both handlers query the object, the client
// version and the profile are evaluated, and the profile goes back through "___Environment".
HRESULT BareCalls(IUnknown* object) {
    ICAICallback* session = nullptr;
    ICAICallback* document = nullptr;
    object->QueryInterface(IID_ICAICallback, reinterpret_cast<void**>(&session));
    object->QueryInterface(IID_ICAICallback, reinterpret_cast<void**>(&document));

    BSTR in = SysAllocString(L"$(_VNTXVER)");
    BSTR version = nullptr;
    session->Prepare(in, &version);
    SysFreeString(in);
    const long number = std::wcstol(version ? version : L"", nullptr, 10);
    SysFreeString(version);

    in = SysAllocString(L"#(Appl:Profile)");
    BSTR profile = nullptr;
    session->Prepare(in, &profile);
    SysFreeString(in);

    constexpr wchar_t name[] = L"RETVECTAProfile=";
    constexpr UINT nameLength = sizeof(name) / sizeof(wchar_t) - 1;
    const UINT profileLength = SysStringLen(profile);
    BSTR arguments = SysAllocStringLen(nullptr, nameLength + profileLength);
    std::wmemcpy(arguments, name, nameLength);
    std::wmemcpy(arguments + nameLength, profile, profileLength);
    BSTR command = SysAllocString(L"___Environment");
    LONG result = 0;
    const HRESULT hr = session->Call(command, arguments, nullptr, &result);
    SysFreeString(command);
    SysFreeString(arguments);
    SysFreeString(profile);
    document->Release();
    session->Release();
    return number == 530 ? hr : E_FAIL;
}

// A VARIANT holding the array { "QELDCHECKAPPLICATION", "" }, as the client passes it.
VARIANT CheckApplicationArguments() {
    VARIANT args;
    VariantInit(&args);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    if (!array) return args;
    const wchar_t* items[] = {L"QELDCHECKAPPLICATION", L""};
    for (LONG i = 0; i < 2; ++i) {
        VARIANT item;
        V_VT(&item) = VT_BSTR;
        V_BSTR(&item) = SysAllocString(items[i]);
        SafeArrayPutElement(array, &i, &item);
        VariantClear(&item);
    }
    V_VT(&args) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&args) = array;
    return args;
}

// The object from the shipped DLL, loaded by path and asked through its class object as COM
// would; the module stays loaded until the program ends.
ICAI_Call* FromShippedDll() {
    HMODULE module = LoadLibraryW(COMPONENT_DLL);
    // Through a plain function pointer type: FARPROC names no parameters.
    auto getClassObject = module ? reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
                                       reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")))
                                 : nullptr;
    IClassFactory* factory = nullptr;
    if (!getClassObject || FAILED(getClassObject(CLSID_CAI_Call, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return nullptr;
    ICAI_Call* call = nullptr;
    (void)factory->CreateInstance(nullptr, IID_ICAI_Call, reinterpret_cast<void**>(&call));
    factory->Release();
    return call;
}

int Bench() {
    CBenchCallback client;
    ICAI_Call* call = nullptr;
    if (FAILED(CCAI_Call::Create(nullptr, IID_ICAI_Call, reinterpret_cast<void**>(&call)))) return 1;
    ICAI_Call* shipped = FromShippedDll();
    if (!shipped) {
        std::fprintf(stderr, "the shipped DLL did not load\n");
        return 1;
    }
    VARIANT args = CheckApplicationArguments();
    VARIANT result;
    VariantInit(&result);
    auto runOn = [&](ICAI_Call* object) {
        const HRESULT hr = object->Run(&client, args, &result);
        return SUCCEEDED(hr) && V_I4(&result) == 0 ? hr : E_FAIL;
    };
    auto run = [&] { return runOn(call); };
    auto runShipped = [&] { return runOn(shipped); };
    // The first Run reads the log settings (level 0) and creates the process-wide objects.
    if (FAILED(run()) || FAILED(runShipped()) || FAILED(BareCalls(&client))) {
        std::fprintf(stderr, "the first Run failed\n");
        return 1;
    }

    // Short rounds in turn; the quickest of each, and the middle of the rounds' own ratios
    // (a round and its baseline run moments apart, under the same load).
    constexpr int kRepetitions = 2000;
    constexpr int kRounds = 100;
    double bestRun = 1e9, bestBare = 1e9, bestShipped = 1e9;
    std::vector<double> ratios, shippedRatios;
    for (int round = 0; round < kRounds; ++round) {
        const double bare = BenchClock::Measure(kRepetitions, [&] { return BareCalls(&client); });
        const double dispatched = BenchClock::Measure(kRepetitions, run);
        const double fromDll = BenchClock::Measure(kRepetitions, runShipped);
        if (bare < 0 || dispatched < 0 || fromDll < 0) {
            std::fprintf(stderr, "a measured call failed\n");
            return 1;
        }
        bestBare = std::min(bestBare, bare);
        bestRun = std::min(bestRun, dispatched);
        bestShipped = std::min(bestShipped, fromDll);
        ratios.push_back(dispatched / bare);
        shippedRatios.push_back(fromDll / bare);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(shippedRatios.begin(), shippedRatios.end());
    const long before = g_allocations;
    for (int i = 0; i < 1000; ++i) (void)run();
    const double allocationsPerRun = static_cast<double>(g_allocations - before) / 1000.0;

    std::printf("bare client calls (baseline):       %8.3f us\n", bestBare);
    std::printf("Run QELDCHECKAPPLICATION, level 0:  %8.3f us  (%.2fx baseline, goal <= 1.2x)\n", bestRun,
                bestRun / bestBare);
    std::printf("middle ratio of the rounds:          %7.2fx\n", ratios[kRounds / 2]);
    std::printf("the same Run in the shipped DLL:    %8.3f us  (%.2fx baseline; middle ratio %.2fx)\n", bestShipped,
                bestShipped / bestBare, shippedRatios[kRounds / 2]);
    std::printf("component heap allocations per Run: %8.1f\n", allocationsPerRun);
    VariantClear(&args);
    shipped->Release();
    call->Release();
    return 0;
}

}  // namespace

// Counts the component's own allocations (it is linked statically into this program).
void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main() { return BenchClock::RunInApartment(Bench); }
