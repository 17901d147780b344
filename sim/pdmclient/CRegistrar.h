#pragma once
#include <iosfwd>
#include <string>
#include <vector>

// Registers what a client run needs in the current Windows user (Wine prefix): the PDM
// client's type library, the integration component, the instance moniker provider and the
// Vecta host simulator. Each file is looked for in the given folders; a missing one is
// skipped with a message.
class CRegistrar {
public:
    CRegistrar(std::vector<std::wstring> folders, std::ostream& out) : m_folders(std::move(folders)), m_out(out) {}

    // 0 when every file found was (un)registered, else the number of failures.
    int Register();
    int Unregister();

private:
    enum class Kind { TypeLibrary, InProcessServer, LocalServer };
    struct Item {
        const wchar_t* what;
        const wchar_t* file;
        Kind kind;
    };
    static const Item kItems[];

    int Apply(bool registering);
    std::wstring Find(const wchar_t* file) const;
    long TypeLibrary(const std::wstring& path, bool registering) const;
    long InProcessServer(const std::wstring& path, bool registering) const;
    long LocalServer(const std::wstring& path, bool registering) const;

    std::vector<std::wstring> m_folders;
    std::ostream& m_out;
};
