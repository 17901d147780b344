#pragma once
#include "CInstalledPackage.h"
#include <windows.h>
#include <optional>
#include <string>

class CDiagnosisReport;

// Checks the registrations the component needs, in one classes root: its class, file,
// version and ProgIDs, that the class leads to the installed package's file, its own type
// library, the PDM client's type library with the ICAI_Call interface key that leads
// dispatch calls to it, and the instance moniker classes of release 17 and 16.
class CInstallationCheck {
public:
    // package: the component's installed package, if any (CInstalledPackage::Find). By
    // default the machine's classes in the 32-bit view, the one the 32-bit PDM client sees;
    // tests pass a key of their own holding a copy with a link removed.
    CInstallationCheck(CDiagnosisReport& report, std::optional<CInstalledPackage> package,
                       HKEY root = HKEY_CLASSES_ROOT, REGSAM view = KEY_WOW64_32KEY);

    void Run();

private:
    std::optional<std::wstring> Read(const std::wstring& key, const std::wstring& name = L"") const;
    // The locale subkey under which a type library version is registered; the one its owner
    // registers when none is, so that a missing key is named as it should be.
    std::wstring Locale(const std::wstring& libraryId, const std::wstring& version, const std::wstring& expected) const;
    // The file of an in-process server when it is registered, present and a server; with its
    // checks printed. declaresClass: its own type library must declare the class.
    std::optional<std::wstring> Server(const std::wstring& what, const std::wstring& classId, const std::wstring& fix,
                                       bool declaresClass);
    // Server()'s checks printed as skipped, so that every machine gets the same number of
    // lines; classId empty: its "registered" line has been printed.
    void SkipServer(const std::wstring& what, const std::wstring& classId, const std::wstring& why);
    void Version(const std::wstring& path);
    // A hand registration (regsvr32, caiclient --register) over the package redirects its class;
    // a deleted DLL is the package's own damage.
    void Package();
    void ProgId(const std::wstring& progId, const std::wstring& currentVersion);
    void TypeLibrary(const std::wstring& what, const std::wstring& libraryId, const std::wstring& version,
                     const std::wstring& locale, const std::wstring& member, const std::wstring& fix);
    void InterfaceLink();
    // expectedClass: the class the Vecta side registers, named in the skipped lines when its name is missing.
    void MonikerClass(const std::wstring& className, const std::wstring& expectedClass);

    CDiagnosisReport& m_report;
    std::optional<CInstalledPackage> m_package;
    // What to do about the component: the package's repair when it is installed, else its install.
    std::wstring m_componentFix;
    HKEY m_root;
    REGSAM m_view;
};
