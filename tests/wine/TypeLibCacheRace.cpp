// Wine 8 oleaut32: a type library whose last reference goes while another thread finds it in
// the loaded-library cache is handed out after it was freed. Four threads, nothing of ours.
//   TypeLibCacheRace library [seconds]  load, use and release stdole2.tlb
//   TypeLibCacheRace proxy [seconds]    call a typelib-marshalled method that returns a new object
// Exit code 0: no fault seen; 1: a call failed (proxy); 3: the process faulted; 4: threads hung.
#include "typelib_race.h"
#include <windows.h>
#include <oleauto.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

volatile LONG g_stop = 0;
volatile LONG g_rounds = 0;

// Written without the C runtime's heap: the fault may leave Wine's heap locked.
void Say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* e) {
    char text[128];
    snprintf(text, sizeof(text), "crash: exception %08lx at %p after %ld rounds\n", e->ExceptionRecord->ExceptionCode,
             e->ExceptionRecord->ExceptionAddress, g_rounds);
    Say(text);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

class Node final : public IRaceNode {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_IRaceNode) return E_NOINTERFACE;
        *out = static_cast<IRaceNode*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }
    // No type information of its own: nothing but proxy and stub creation loads the library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_Child(IRaceNode** child) override {
        *child = new Node;
        return S_OK;
    }

private:
    LONG m_refs = 1;
};

DWORD WINAPI LoadLibraries(LPVOID) {
    while (!g_stop) {
        ITypeLib* library = nullptr;
        if (FAILED(LoadTypeLibEx(L"stdole2.tlb", REGKIND_NONE, &library))) return 1;
        ITypeInfo* info = nullptr;
        if (SUCCEEDED(library->GetTypeInfo(0, &info))) info->Release();
        library->Release();
        InterlockedIncrement(&g_rounds);
    }
    return 0;
}

struct Caller {
    IStream* marshalled = nullptr;
    HRESULT hr = E_PENDING;
};

DWORD WINAPI CallThroughProxies(LPVOID parameter) {
    auto& caller = *static_cast<Caller*>(parameter);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    IRaceNode* root = nullptr;
    caller.hr = CoGetInterfaceAndReleaseStream(caller.marshalled, IID_IRaceNode, reinterpret_cast<void**>(&root));
    while (SUCCEEDED(caller.hr) && !g_stop) {
        IRaceNode* child = nullptr;
        caller.hr = root->get_Child(&child);
        if (child) child->Release();
        InterlockedIncrement(&g_rounds);
    }
    if (root) root->Release();
    CoUninitialize();
    return 0;
}

// Registers the library beside the program; the registration is undone at the end.
HRESULT RegisterRaceLibrary() {
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    wchar_t* name = wcsrchr(path, L'\\');
    if (!name || name + 1 + wcslen(L"typelib_race.tlb") >= path + MAX_PATH) return E_FAIL;
    wcscpy(name + 1, L"typelib_race.tlb");
    ITypeLib* library = nullptr;
    const HRESULT hr = LoadTypeLibEx(path, REGKIND_REGISTER, &library);
    if (library) library->Release();  // held by nobody from here on
    return hr;
}

}  // namespace

int main(int argc, char** argv) {
    const bool proxy = argc > 1 && strcmp(argv[1], "proxy") == 0;
    if (argc < 2 || (!proxy && strcmp(argv[1], "library") != 0)) {
        Say("usage: TypeLibCacheRace library|proxy [seconds]\n");
        return 2;
    }
    const DWORD seconds = argc > 2 ? static_cast<DWORD>(atoi(argv[2])) : 10;
    SetUnhandledExceptionFilter(ReportCrash);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 2;

    Caller callers[4];
    HANDLE threads[4] = {};
    if (proxy) {
        if (FAILED(RegisterRaceLibrary())) {
            Say("cannot register typelib_race.tlb\n");
            return 2;
        }
        // The object lives in this multithreaded apartment; the callers reach it through proxies.
        Node* root = new Node;
        for (auto& caller : callers)
            if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IRaceNode, root, &caller.marshalled))) return 2;
        root->Release();
    }
    for (int i = 0; i < 4; ++i)
        threads[i] = CreateThread(nullptr, 0, proxy ? CallThroughProxies : LoadLibraries, &callers[i], 0, nullptr);

    const ULONGLONG end = GetTickCount64() + seconds * 1000ull;
    while (GetTickCount64() < end && WaitForMultipleObjects(4, threads, FALSE, 100) == WAIT_TIMEOUT) {}
    g_stop = 1;
    const bool ended = WaitForMultipleObjects(4, threads, TRUE, 10000) == WAIT_OBJECT_0;
    char text[128];
    int result = 0;
    for (const auto& caller : callers) {
        if (proxy && FAILED(caller.hr)) {
            snprintf(text, sizeof(text), "fault: get_Child answered %08lx\n", static_cast<unsigned long>(caller.hr));
            Say(text);
            result = 1;
        }
    }
    snprintf(text, sizeof(text), "%s after %ld rounds\n", ended ? "ended" : "hang: threads still running",
             g_rounds);
    Say(text);
    // A thread stuck on a lock the fault left taken would keep the process from ending.
    if (!ended) TerminateProcess(GetCurrentProcess(), 4);
    if (proxy) UnRegisterTypeLib(LIBID_TypeLibRaceLib, 1, 0, 0, SYS_WIN32);
    return result;
}
