#include "CInstalledPackage.h"
#include <windows.h>
#include <msi.h>

namespace {

std::wstring ProductInfo(const wchar_t* product, const wchar_t* property) {
    wchar_t text[MAX_PATH * 2];
    DWORD length = std::size(text);
    return MsiGetProductInfoW(product, property, text, &length) == ERROR_SUCCESS ? std::wstring(text, length)
                                                                                  : std::wstring();
}

}  // namespace

std::optional<CInstalledPackage> CInstalledPackage::Find() {
    wchar_t product[39];
    // One version at most: the package's major upgrade replaces the older one.
    if (MsiEnumRelatedProductsW(L"{" PACKAGE_UPGRADE_CODE L"}", 0, 0, product) != ERROR_SUCCESS) return std::nullopt;
    CInstalledPackage package;
    package.productCode = product;
    package.version = ProductInfo(product, INSTALLPROPERTY_VERSIONSTRING);
    package.cachedPackage = ProductInfo(product, INSTALLPROPERTY_LOCALPACKAGE);
    wchar_t text[MAX_PATH * 2];
    DWORD length = std::size(text);
    // Absent: the key file is gone, and the path is still the installed one.
    const INSTALLSTATE state = MsiGetComponentPathW(product, L"{" PACKAGE_DLL_COMPONENT L"}", text, &length);
    if ((state == INSTALLSTATE_LOCAL || state == INSTALLSTATE_ABSENT) && length > 0 && length < std::size(text))
        package.componentFile.assign(text, length);
    return package;
}

std::wstring CInstalledPackage::PackageFile() const { return L"QELDVecta17x-" + version + L".msi"; }

std::wstring CInstalledPackage::RepairCommand() const {
    const std::wstring package = !cachedPackage.empty() ? L"\"" + cachedPackage + L"\""
                                 : !productCode.empty() ? productCode
                                                        : PackageFile();
    return L"msiexec /i " + package + L" REINSTALL=ALL REINSTALLMODE=amus /qn /l*v repair.log";
}
