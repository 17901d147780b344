#include "CHostStartGate.h"
#include "support/ScopeGuard.h"
#include <windows.h>
#include <algorithm>
#include <vector>

namespace {

// The names being started; a handful at most, each held only for one search.
struct StartsUnderWay {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<std::wstring> names;
    unsigned long ended = 0;  // guarded by lock
};

StartsUnderWay g_starts;

auto SameName(const std::wstring& name) {
    return [&name](const std::wstring& other) {
        return CompareStringOrdinal(name.c_str(), -1, other.c_str(), -1, TRUE) == CSTR_EQUAL;
    };
}

}  // namespace

CHostStartGate::Claim& CHostStartGate::Claim::operator=(Claim&& other) noexcept {
    if (this != &other) {
        Release();
        m_name = std::move(other.m_name);
        other.m_name.clear();
    }
    return *this;
}

void CHostStartGate::Claim::Release() noexcept {
    if (m_name.empty()) return;
    AcquireSRWLockExclusive(&g_starts.lock);
    auto& names = g_starts.names;
    const auto held = std::find_if(names.begin(), names.end(), SameName(m_name));
    if (held != names.end()) names.erase(held);
    ++g_starts.ended;
    ReleaseSRWLockExclusive(&g_starts.lock);
    m_name.clear();
}

CHostStartGate::Claim CHostStartGate::TryClaim(const std::wstring& displayName) {
    Claim claim;
    std::wstring name = displayName;  // copied before the lock
    AcquireSRWLockExclusive(&g_starts.lock);
    ScopeGuard unlock([]() noexcept { ReleaseSRWLockExclusive(&g_starts.lock); });
    auto& names = g_starts.names;
    if (std::any_of(names.begin(), names.end(), SameName(displayName))) return claim;
    names.push_back(name);
    claim.m_name = std::move(name);
    return claim;
}

unsigned long CHostStartGate::EndedClaims() noexcept {
    AcquireSRWLockShared(&g_starts.lock);
    const unsigned long ended = g_starts.ended;
    ReleaseSRWLockShared(&g_starts.lock);
    return ended;
}
