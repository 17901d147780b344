#pragma once
#include <optional>
#include <string>

// The component's Windows Installer package as installed on this machine, found by the
// package's upgrade code: its version and where it put the component's DLL.
struct CInstalledPackage {
    std::wstring version;
    std::wstring componentFile;

    // Nothing when no version of the package is installed.
    static std::optional<CInstalledPackage> Find();

    // "QELDVecta17x-<version>.msi"
    std::wstring PackageFile() const;
    // The verified repair of a damaged installation (a class key or the DLL gone): every file
    // and registry row of the package written again.
    std::wstring RepairCommand() const;
};
