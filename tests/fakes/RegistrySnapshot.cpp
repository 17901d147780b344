#include "RegistrySnapshot.h"

namespace {

const wchar_t* ViewName(REGSAM view) {
    return view == KEY_WOW64_32KEY ? L"32:" : view == KEY_WOW64_64KEY ? L"64:" : L"own:";
}

}  // namespace

std::wstring RegistrySnapshot::Value::Text() const {
    if (type != REG_SZ) return {};
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

void RegistrySnapshot::Add(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
    auto& values = m_keys[ViewName(view) + path];
    wchar_t name[256];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256, dataSize = sizeof(data), type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        values[name] = {type, std::vector<BYTE>(data, data + dataSize)};
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(path + L"\\" + name);
    }
    RegCloseKey(key);
    for (const std::wstring& subkey : subkeys) Add(root, subkey, view);
}

RegistrySnapshot RegistrySnapshot::ClientRegistration() {
    RegistrySnapshot snapshot;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        for (const wchar_t* key : {L"Interface\\{5D44F092-D3C1-11D3-8314-00A0C98B5456}",
                                   L"Interface\\{5D44F090-D3C1-11D3-8314-00A0C98B5456}",
                                   L"TypeLib\\{5D44F094-D3C1-11D3-8314-00A0C98B5456}"})
            snapshot.Add(HKEY_CLASSES_ROOT, key, view);
    return snapshot;
}

RegistrySnapshot RegistrySnapshot::ComponentRegistration(REGSAM view) {
    RegistrySnapshot snapshot;
    for (const wchar_t* key : {L"QELDVecta17x.CAI_Call.1", L"QELDVecta17x.CAI_Call",
                               L"CLSID\\{A43E0AB3-7A1F-44D1-8E59-E9462ED646AD}",
                               L"TypeLib\\{2770193E-CD7B-4FA1-A2F1-A6E36070E06E}"})
        snapshot.Add(HKEY_CLASSES_ROOT, key, view);
    return snapshot;
}

void PrintTo(const RegistrySnapshot::Value& value, std::ostream* out) {
    if (value.type == REG_SZ) {
        const std::wstring text = value.Text();
        *out << '"' << std::string(text.begin(), text.end()) << '"';  // the keys here are ASCII
    } else {
        *out << "type " << value.type << ", " << value.bytes.size() << " bytes";
    }
}
