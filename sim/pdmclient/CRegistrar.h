#pragma once
#include "CInstalledPackage.h"
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// Registers what a client run needs in the current Windows user (Wine prefix): the PDM
// client's type library, the integration component, the instance moniker provider and the
// Vecta host simulator. Each file is looked for in the given folders; a missing one is
// skipped with a message. The component is left out when asked, and always while its package
// is installed: the package owns the class, and registering another copy would redirect it.
class CRegistrar {
public:
    CRegistrar(std::vector<std::wstring> folders, std::ostream& out, bool withComponent,
               std::optional<CInstalledPackage> package)
        : m_folders(std::move(folders)), m_out(out), m_withComponent(withComponent), m_package(std::move(package)) {}

    // 0 when every file found was (un)registered, else the number of failures.
    int Register();
    int Unregister();

private:
    enum class Kind { TypeLibrary, InProcessServer, LocalServer };
    struct Item {
        const wchar_t* what;
        const wchar_t* file;
        Kind kind;
        bool component;
    };
    static const Item kItems[];

    int Apply(bool registering);
    // Why the item is left out; empty when it is not.
    std::wstring LeftOut(const Item& item) const;
    std::wstring Find(const wchar_t* file) const;
    long TypeLibrary(const std::wstring& path, bool registering) const;
    long InProcessServer(const std::wstring& path, bool registering) const;
    long LocalServer(const std::wstring& path, bool registering) const;

    std::vector<std::wstring> m_folders;
    std::ostream& m_out;
    bool m_withComponent;
    std::optional<CInstalledPackage> m_package;
};
