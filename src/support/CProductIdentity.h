#pragma once
#include "Singleton.h"
#include <string>

// The product identity record: its display name goes into log texts.
class CProductIdentity : public Singleton<CProductIdentity> {
public:
    virtual ~CProductIdentity() = default;
    const std::wstring& DisplayName() const noexcept { return m_displayName; }

private:
    std::wstring m_displayName = L"Fennory Professional";
};
