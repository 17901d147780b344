#pragma once
#include "ComponentTest.h"
#include "FakeCallback.h"
#include "support/ComPtr.h"
#include <QELDVecta17x.h>
#include <string>
#include <vector>

// A component object and a PDM client new enough for it (client version 530, log level 1),
// with Run called the way the client calls it.
class RunFixture : public ComponentTest {
protected:
    RunFixture();

    // Runs the command array; result receives the integer result code.
    HRESULT Run(const std::vector<std::wstring>& items, LONG& result, IUnknown* callback = nullptr);
    std::vector<std::wstring> Messages() const;

    ComPtr<FakeCallback> client;
    ComPtr<ICAI_Call> object;
};
