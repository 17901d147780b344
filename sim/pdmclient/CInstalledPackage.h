#pragma once
#include <optional>
#include <string>

// The component's Windows Installer package as installed on this machine, found by the
// package's upgrade code: its version and where it put the component's DLL.
struct CInstalledPackage {
    std::wstring version;
    // Also when the file has been deleted since.
    std::wstring componentFile;
    std::wstring productCode;
    // The copy of the package that Windows Installer keeps; empty when it names none.
    std::wstring cachedPackage;

    // Nothing when no version of the package is installed.
    static std::optional<CInstalledPackage> Find();

    // "QELDVecta17x-<version>.msi"
    std::wstring PackageFile() const;
    // The verified repair of a damaged installation (a class key or the DLL gone): every file
    // and registry row of the package written again, from the package Windows Installer keeps
    // (or by product code), never from a file name looked up in the current folder.
    std::wstring RepairCommand() const;
};
