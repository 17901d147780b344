// QELDVecta17Instance.dll: the instance monikers "QELDVecta17Instance:<profile>" and
// "QELDVecta16Instance:<profile>" for the Vecta host simulator.
#include "CInstanceClassObject.h"
#include "CInstanceModule.h"
#include "CInstanceRegistrar.h"
#include "InstanceNames.h"
#include "support/ResultMacros.h"

namespace {

constexpr CLSID kClassId17 = {0xD4F55D8C, 0x0F98, 0x415D, {0x80, 0xA0, 0x4E, 0xF0, 0x60, 0x45, 0x2F, 0xB9}};
constexpr CLSID kClassId16 = {0x5A202262, 0xAAE7, 0x430F, {0x89, 0xDF, 0x51, 0xA2, 0x67, 0xC2, 0xE8, 0x92}};

CInstanceClassObject g_class17(kClassId17, kInstanceClass17);
CInstanceClassObject g_class16(kClassId16, kInstanceClass16);
CInstanceClassObject* const g_classes[] = {&g_class17, &g_class16};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        CInstanceModule::SetHandle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (CInstanceClassObject* object : g_classes)
        if (classId == object->ClassId()) return object->QueryInterface(riid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CInstanceModule::InUse() ? S_FALSE : S_OK; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(CInstanceModule::Handle(), path, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(path, MAX_PATH, full, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
    for (const CInstanceClassObject* object : g_classes) RETURN_IF_FAILED(CInstanceRegistrar::Register(*object, full));
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    HRESULT result = S_OK;
    for (const CInstanceClassObject* object : g_classes) {
        const HRESULT hr = CInstanceRegistrar::Unregister(*object);
        if (FAILED(hr)) result = hr;
    }
    return result;
}
