// The module: its entry point, the four exports and the module-level objects whose
// destruction order the component relies on.
#include "CClassFactory.h"
#include "CModuleLock.h"
#include "CServerRegistration.h"
#include "client/CVantorApplication.h"
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
// a callback it may still hold, then the product identity record.
SingletonDeleter<CProductIdentity> g_productDeleter;
SingletonDeleter<CVantorApplication> g_sessionDeleter;
SingletonDeleter<CUtils> g_utilsDeleter;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && g_factory) {
        g_factory->Release();
        g_factory = nullptr;
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
