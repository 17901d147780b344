#pragma once
#include "support/ComPtr.h"
#include <cai_dll.h>
#include <string>

// One CAD integration object for the whole client run, as the PDM client keeps it: the object
// holds its host connection from one command to the next.
class CComponentSession {
public:
    [[nodiscard]] HRESULT Create(const std::wstring& progId) noexcept;
    // Takes an object created by other means (in-process, without the registry).
    void Use(ComPtr<ICAI_Call> component) noexcept { m_component = std::move(component); }
    // Run with the array (command, first, second, and the closing element Run never reads).
    [[nodiscard]] HRESULT Run(IUnknown* callback, const std::wstring& command, const std::wstring& first,
                              const std::wstring& second, long& result) noexcept;
    void Close() noexcept { m_component.reset(); }

private:
    ComPtr<ICAI_Call> m_component;
};
