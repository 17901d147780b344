#include "CInstalledPackage.h"
#include <windows.h>
#include <msi.h>

std::optional<CInstalledPackage> CInstalledPackage::Find() {
    wchar_t product[39];
    // One version at most: the package's major upgrade replaces the older one.
    if (MsiEnumRelatedProductsW(L"{" PACKAGE_UPGRADE_CODE L"}", 0, 0, product) != ERROR_SUCCESS) return std::nullopt;
    CInstalledPackage package;
    wchar_t text[MAX_PATH * 2];
    DWORD length = std::size(text);
    if (MsiGetProductInfoW(product, INSTALLPROPERTY_VERSIONSTRING, text, &length) == ERROR_SUCCESS)
        package.version.assign(text, length);
    length = std::size(text);
    if (MsiGetComponentPathW(product, L"{" PACKAGE_DLL_COMPONENT L"}", text, &length) == INSTALLSTATE_LOCAL)
        package.componentFile.assign(text, length);
    return package;
}

std::wstring CInstalledPackage::PackageFile() const { return L"QELDVecta17x-" + version + L".msi"; }

std::wstring CInstalledPackage::RepairCommand() const {
    return L"msiexec /i " + PackageFile() + L" REINSTALL=ALL REINSTALLMODE=amus /qn /l*v repair.log";
}
