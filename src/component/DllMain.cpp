// The module: its entry point, the four exports and the module-level objects whose
// destruction order the component relies on.
#include "CClassFactory.h"
#include "runtime/CModuleLock.h"
#include "CServerRegistration.h"
#include "client/CVantorApplication.h"
#include "support/CLog.h"
#include "support/CProductIdentity.h"
#include "support/CUtils.h"
#include "support/ResultMacros.h"
#include <QELDVecta17x.h>

namespace {

// Deletes one singleton when the module unloads.
template <class T>
struct SingletonDeleter {
    ~SingletonDeleter() { T::DestroyInstance(); }
};

HMODULE g_module = nullptr;
IClassFactory* g_factory = nullptr;  // cached from the first request until unload

// Destroyed in reverse order: the utility object before the session object, which drops
// a callback it may still hold, then the product identity record, and the log last.
SingletonDeleter<CLog> g_logDeleter;
SingletonDeleter<CProductIdentity> g_productDeleter;
SingletonDeleter<CVantorApplication> g_sessionDeleter;
SingletonDeleter<CUtils> g_utilsDeleter;

// The static runtime keeps data for each thread that used it and frees it when the thread
// ends, so the module takes thread notifications. A thread that outlives the module is not
// told its end, so at unload the unloading thread (the client's, or the last thread of ours
// on its way out) is told to the runtime as ending here.
void ForgetUnloadingThread() noexcept {
    auto* base = reinterpret_cast<BYTE*>(g_module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (entry.VirtualAddress == 0) return;
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + entry.VirtualAddress);
    for (auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks); callback && *callback; ++callback)
        (*callback)(g_module, DLL_THREAD_DETACH, nullptr);
}

bool g_processEnding = false;  // nothing to free for a thread when the whole process ends

// Destroyed after every other object of the module.
struct LastAtUnload {
    ~LastAtUnload() {
        if (!g_processEnding) ForgetUnloadingThread();
    }
};
__attribute__((init_priority(101))) LastAtUnload g_lastAtUnload;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
    } else if (reason == DLL_PROCESS_DETACH) {
        g_processEnding = reserved != nullptr;
        if (g_factory) {
            g_factory->Release();
            g_factory = nullptr;
        }
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_CAI_Call)) return CLASS_E_CLASSNOTAVAILABLE;
    if (!g_factory) {
        IClassFactory* created = new (std::nothrow) CClassFactory();
        if (!created) return E_OUTOFMEMORY;
        if (InterlockedCompareExchangePointer(reinterpret_cast<void**>(&g_factory), created, nullptr) != nullptr)
            created->Release();  // another thread cached one first
    }
    return g_factory->QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() noexcept { return CModuleLock::CanUnload() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() noexcept {
    try {
        return CServerRegistration::Register(g_module);
    } catch (...) {
        return HResultFromCaught();
    }
}

extern "C" HRESULT WINAPI DllUnregisterServer() noexcept {
    try {
        return CServerRegistration::Unregister(g_module);
    } catch (...) {
        return HResultFromCaught();
    }
}
