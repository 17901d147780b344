#pragma once
#include <windows.h>

class CInstanceClassObject;

// Registry entries of one moniker class under HKEY_CLASSES_ROOT: the CLSID with its
// in-process server and the ProgID that MkParseDisplayName resolves.
class CInstanceRegistrar {
public:
    [[nodiscard]] static HRESULT Register(const CInstanceClassObject& object, const wchar_t* modulePath);
    [[nodiscard]] static HRESULT Unregister(const CInstanceClassObject& object);

private:
    [[nodiscard]] static HRESULT SetValue(const wchar_t* key, const wchar_t* name, const wchar_t* value);
};
