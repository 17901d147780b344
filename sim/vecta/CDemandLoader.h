#pragma once

class CSimHost;

// Vecta's demand loading: at start the host loads every application registered under
// HKCU\Software\Tessaro\Vecta\R<version>\<CurVer>\Applications\<name> whose LOADCTRLS asks
// for loading at start-up (bit 2), from the file its LOADER value names.
class CDemandLoader {
public:
    static void LoadAtStartUp(const CSimHost& host);
};
