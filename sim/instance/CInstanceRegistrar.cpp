#include "CInstanceRegistrar.h"
#include "CInstanceClassObject.h"
#include "support/ResultMacros.h"
#include <string>

namespace {

std::wstring ClassKey(const CInstanceClassObject& object) {
    wchar_t guid[40];
    StringFromGUID2(object.ClassId(), guid, 40);
    return std::wstring(L"CLSID\\") + guid;
}

}  // namespace

HRESULT CInstanceRegistrar::SetValue(const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    HKEY handle = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return HRESULT_FROM_WIN32(status);
}

HRESULT CInstanceRegistrar::Register(const CInstanceClassObject& object, const wchar_t* modulePath) {
    try {
        const std::wstring classKey = ClassKey(object);
        const std::wstring description = std::wstring(object.ClassName()) + L" Moniker";
        wchar_t guid[40];
        StringFromGUID2(object.ClassId(), guid, 40);
        RETURN_IF_FAILED(SetValue(classKey.c_str(), nullptr, description.c_str()));
        RETURN_IF_FAILED(SetValue((classKey + L"\\InprocServer32").c_str(), nullptr, modulePath));
        RETURN_IF_FAILED(SetValue((classKey + L"\\InprocServer32").c_str(), L"ThreadingModel", L"Both"));
        RETURN_IF_FAILED(SetValue((classKey + L"\\ProgID").c_str(), nullptr, object.ClassName()));
        RETURN_IF_FAILED(SetValue(object.ClassName(), nullptr, description.c_str()));
        return SetValue((std::wstring(object.ClassName()) + L"\\CLSID").c_str(), nullptr, guid);
    } catch (...) {
        return HResultFromCaught();
    }
}

HRESULT CInstanceRegistrar::Unregister(const CInstanceClassObject& object) {
    try {
        const LSTATUS classStatus = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(object).c_str());
        const LSTATUS progIdStatus = RegDeleteTreeW(HKEY_CLASSES_ROOT, object.ClassName());
        for (LSTATUS status : {classStatus, progIdStatus})
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(status);
        return S_OK;
    } catch (...) {
        return HResultFromCaught();
    }
}
