#pragma once
#include "support/ComPtr.h"
#include <windows.h>
#include <objbase.h>
#include <vector>

// Holds one table-strong marshalling of an object per interface from start to the end of the
// run. Wine unregisters an interface from RPC when its last stub goes away and waits there for
// the interface's calls; done inside the release call that dropped that stub, the host's
// thread waited for good. With a stub of every interface kept here, none is ever the last.
class CStubKeeper {
public:
    CStubKeeper() = default;
    CStubKeeper(const CStubKeeper&) = delete;
    CStubKeeper& operator=(const CStubKeeper&) = delete;
    // Must run outside any incoming call (the end of the run).
    ~CStubKeeper();

    [[nodiscard]] HRESULT Keep(IUnknown* object, REFIID iid);

private:
    std::vector<ComPtr<IStream>> m_marshalled;
};
