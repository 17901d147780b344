#include "CInstallationCheck.h"
#include "CDiagnosisReport.h"
#include "CServerImage.h"
#include "TextCodec.h"
#include "host/CRegistryKey.h"
#include "support/ComPtr.h"
#include <ole2.h>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr wchar_t kComponentClass[] = L"{A43E0AB3-7A1F-44D1-8E59-E9462ED646AD}";
constexpr wchar_t kProgId[] = L"QELDVecta17x.CAI_Call.1";
constexpr wchar_t kIndependentProgId[] = L"QELDVecta17x.CAI_Call";
constexpr wchar_t kOwnLibrary[] = L"{2770193E-CD7B-4FA1-A2F1-A6E36070E06E}";
constexpr wchar_t kClientLibrary[] = L"{5D44F094-D3C1-11D3-8314-00A0C98B5456}";
constexpr wchar_t kClientLibraryVersion[] = L"2.0";
constexpr wchar_t kCaiCallInterface[] = L"{5D44F092-D3C1-11D3-8314-00A0C98B5456}";
constexpr size_t kValueCapacity = 2048;

constexpr wchar_t kInstallFix[] =
    L"install the package: msiexec /i QELDVecta17x-<version>.msi /qn /l*v install.log (on a test machine: the "
    L"32-bit regsvr32 QELDVecta17x.dll)";
constexpr wchar_t kClientFix[] = L"repair the PDM client installation, which registers its cai_dll.tlb";

std::wstring Shown(const std::wstring& key) { return L"HKCR\\" + key; }

std::wstring ServerKey(const std::wstring& classId) { return L"CLSID\\" + classId + L"\\InprocServer32"; }

std::wstring Expanded(const std::wstring& path) {
    std::vector<wchar_t> buffer(ExpandEnvironmentStringsW(path.c_str(), nullptr, 0) + 1);
    const DWORD length = ExpandEnvironmentStringsW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    return length > 0 && length <= buffer.size() ? std::wstring(buffer.data()) : path;
}

// What COM needs of an in-process server, read from the file without running it: a 32-bit
// DLL exporting DllGetClassObject; for the component also that its embedded type library
// declares the class (another server's DLL at the class key declares none of ours).
bool IsServer(const std::wstring& path, const std::wstring& classId, bool declaresClass, std::wstring& detail) {
    CServerImage image;
    if (!image.Read(path, detail)) return false;
    if (!image.Exports("DllGetClassObject")) {
        detail = L"exports no DllGetClassObject: not a COM server";
        return false;
    }
    detail = L"is a 32-bit DLL exporting DllGetClassObject";
    if (!declaresClass) return true;
    GUID guid{};
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> info;
    // A type library is read as data, as LoadTypeLibEx does with a DLL.
    if (FAILED(IIDFromString(classId.c_str(), &guid)) || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put())) ||
        FAILED(library->GetTypeInfoOfGuid(guid, info.put()))) {
        detail += L", but does not declare " + classId + L": another server's file";
        return false;
    }
    detail += L" and declaring " + classId;
    return true;
}

}  // namespace

CInstallationCheck::CInstallationCheck(CDiagnosisReport& report, std::optional<CInstalledPackage> package, HKEY root,
                                       REGSAM view)
    : m_report(report),
      m_package(std::move(package)),
      m_componentFix(m_package ? L"repair the package: " + m_package->RepairCommand() : kInstallFix),
      m_root(root),
      m_view(view) {}

void CInstallationCheck::Run() {
    if (const auto path = Server(L"component class", kComponentClass, m_componentFix, true))
        Version(*path);
    else
        m_report.Skip(L"component version", L"no server file");
    Package();
    ProgId(kProgId, L"");
    ProgId(kIndependentProgId, kProgId);
    TypeLibrary(L"component type library", kOwnLibrary, L"1.0", L"409", kComponentClass, m_componentFix);
    TypeLibrary(L"PDM client type library cai_dll.tlb", kClientLibrary, kClientLibraryVersion, L"0", kCaiCallInterface,
                kClientFix);
    InterfaceLink();
    MonikerClass(L"QELDVecta17Instance", L"{D4F55D8C-0F98-415D-80A0-4EF060452FB9}");
    MonikerClass(L"QELDVecta16Instance", L"{5A202262-AAE7-430F-89DF-51A267C2E892}");
}

std::optional<std::wstring> CInstallationCheck::Read(const std::wstring& key, const std::wstring& name) const {
    CRegistryKey opened;
    if (opened.Open(m_root, key, KEY_READ | m_view) != ERROR_SUCCESS) return std::nullopt;
    return opened.ReadString(name, kValueCapacity);
}

std::wstring CInstallationCheck::Locale(const std::wstring& libraryId, const std::wstring& version,
                                       const std::wstring& expected) const {
    // A library is registered under its locale ("0", "409", …) beside FLAGS and HELPDIR.
    HKEY key = nullptr;
    if (RegOpenKeyExW(m_root, (L"TypeLib\\" + libraryId + L"\\" + version).c_str(), 0, KEY_READ | m_view, &key) !=
        ERROR_SUCCESS)
        return expected;
    const std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)> opened(key, &RegCloseKey);
    wchar_t name[64];
    for (DWORD index = 0, length = std::size(name);
         RegEnumKeyExW(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = std::size(name)) {
        if (Read(L"TypeLib\\" + libraryId + L"\\" + version + L"\\" + name + L"\\win32")) return name;
    }
    return expected;
}

std::optional<std::wstring> CInstallationCheck::Server(const std::wstring& what, const std::wstring& classId,
                                                       const std::wstring& fix, bool declaresClass) {
    const std::wstring key = ServerKey(classId);
    const std::optional<std::wstring> registered = Read(key);
    const bool isRegistered = registered && !registered->empty();
    if (!m_report.Check(what + L" " + classId + L" registered", isRegistered,
                        Shown(key) + (isRegistered ? L" = " + *registered : L" is missing"), fix)) {
        SkipServer(what, L"", L"not registered");
        return std::nullopt;
    }
    const std::wstring path = Expanded(*registered);
    const bool present = TextCodec::FileExists(path);
    if (!m_report.Check(what + L" file present", present, path + (present ? L"" : L" does not exist"), fix)) {
        m_report.Skip(what + L" server", L"no file");
        return std::nullopt;
    }
    std::wstring detail;
    const bool server = IsServer(path, classId, declaresClass, detail);
    m_report.Check(what + L" server", server, path + L" " + detail, fix);
    return server ? std::optional<std::wstring>(path) : std::nullopt;
}

void CInstallationCheck::SkipServer(const std::wstring& what, const std::wstring& classId, const std::wstring& why) {
    if (!classId.empty()) m_report.Skip(what + L" " + classId + L" registered", why);
    m_report.Skip(what + L" file present", why);
    m_report.Skip(what + L" server", why);
}

void CInstallationCheck::Version(const std::wstring& path) {
    std::wstring version;
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    if (!block.empty() && GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) &&
        VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size) && fixed) {
        wchar_t text[48];
        std::swprintf(text, std::size(text), L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                      LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        version = text;
    }
    m_report.Check(L"component version", !version.empty(), version.empty() ? path + L" has no version" : version,
                   m_componentFix);
}

void CInstallationCheck::Package() {
    const std::optional<std::wstring> registered = Read(ServerKey(kComponentClass));
    if (!m_package) {
        m_report.Check(L"component package", true,
                       std::wstring(L"none installed") + (registered ? L"; the class is registered by hand" : L""), L"");
        return;
    }
    const std::wstring installed = m_package->componentFile.empty() ? L"(no file)" : m_package->componentFile;
    const bool ours = !registered || TextCodec::EqualsNoCase(Expanded(*registered), m_package->componentFile);
    // A deleted DLL is the package's damage, not a hand registration.
    const bool present = !m_package->componentFile.empty() && TextCodec::FileExists(m_package->componentFile);
    m_report.Check(L"component package", ours && present,
                   L"QELDVecta17x " + m_package->version + L" installed: " + installed +
                       (!ours ? L", but the class names " + *registered : present ? L"" : L", which is missing"),
                   ours ? L"repair the package: " + m_package->RepairCommand()
                        : L"a hand registration (regsvr32, caiclient --register) took the class over; repair the "
                          L"package: " + m_package->RepairCommand());
}

void CInstallationCheck::ProgId(const std::wstring& progId, const std::wstring& currentVersion) {
    const std::wstring key = progId + L"\\CLSID";
    const std::optional<std::wstring> classId = Read(key);
    std::wstring detail = Shown(key) + (classId ? L" = " + *classId : L" is missing");
    bool ok = classId && TextCodec::EqualsNoCase(*classId, kComponentClass);
    if (ok && !currentVersion.empty()) {
        const std::optional<std::wstring> current = Read(progId + L"\\CurVer");
        ok = current && *current == currentVersion;
        detail += L", " + Shown(progId + L"\\CurVer") + (current ? L" = " + *current : L" is missing");
    }
    m_report.Check(L"ProgID " + progId + L" leads to the component class", ok, detail, m_componentFix);
}

void CInstallationCheck::TypeLibrary(const std::wstring& what, const std::wstring& libraryId,
                                     const std::wstring& version, const std::wstring& locale,
                                     const std::wstring& member, const std::wstring& fix) {
    const std::wstring key =
        L"TypeLib\\" + libraryId + L"\\" + version + L"\\" + Locale(libraryId, version, locale) + L"\\win32";
    const std::optional<std::wstring> registered = Read(key);
    const bool isRegistered = registered && !registered->empty();
    const std::wstring title = what + L" " + libraryId + L" " + version;
    if (!m_report.Check(title + L" registered", isRegistered,
                        Shown(key) + (isRegistered ? L" = " + *registered : L" is missing"), fix)) {
        m_report.Skip(title + L" loadable", L"not registered");
        return;
    }
    const std::wstring path = Expanded(*registered);
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> info;
    GUID guid{};
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (SUCCEEDED(hr)) hr = IIDFromString(member.c_str(), &guid);
    if (SUCCEEDED(hr)) hr = library->GetTypeInfoOfGuid(guid, info.put());
    m_report.Check(title + L" loadable", SUCCEEDED(hr),
                   path + (SUCCEEDED(hr) ? L" holds " + member : L" does not load or lacks " + member + L" (" + TextCodec::HexCode(hr) + L")"),
                   fix);
}

void CInstallationCheck::InterfaceLink() {
    const std::wstring key = L"Interface\\" + std::wstring(kCaiCallInterface) + L"\\TypeLib";
    const std::optional<std::wstring> library = Read(key);
    const std::optional<std::wstring> version = Read(key, L"Version");
    const bool ok = library && TextCodec::EqualsNoCase(*library, kClientLibrary) && version && *version == kClientLibraryVersion;
    const std::wstring detail =
        !library ? Shown(key) + L" is missing"
                 : Shown(key) + L" = " + *library + L" version " + version.value_or(L"(none)") +
                       (ok ? L"" : L", not " + std::wstring(kClientLibrary) + L" " + kClientLibraryVersion);
    m_report.Check(L"ICAI_Call interface key leads to cai_dll.tlb", ok, detail,
                   std::wstring(kClientFix) + L"; until then dispatch calls from the client fail");
}

void CInstallationCheck::MonikerClass(const std::wstring& className, const std::wstring& expectedClass) {
    const std::wstring what = L"instance moniker " + className;
    const std::wstring fix = L"install or repair Vecta's PDM add-ins, which register " + className + L".dll";
    const std::wstring key = className + L"\\CLSID";
    const std::optional<std::wstring> classId = Read(key);
    const bool found = classId && !classId->empty();
    if (m_report.Check(what + L" class name registered", found, Shown(key) + (found ? L" = " + *classId : L" is missing"), fix))
        static_cast<void>(Server(what, *classId, fix, false));
    else
        SkipServer(what, expectedClass, L"class name not registered");
}
