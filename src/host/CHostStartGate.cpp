#include "CHostStartGate.h"
#include "support/ScopeGuard.h"
#include <algorithm>
#include <vector>

namespace {

// One record per name ever started in the process: a handful of profiles.
struct NameStarts {
    std::wstring name;
    ULONGLONG sentAt = 0;         // when the start under way was sent; 0 for none
    unsigned long changes = 0;    // starts sent and found, counted for this name only
};

struct Starts {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<NameStarts> names;
};

Starts g_starts;

void Unlock() noexcept { ReleaseSRWLockExclusive(&g_starts.lock); }

// With the lock held; null when the name has no record yet.
NameStarts* Find(const std::wstring& name) {
    const auto found = std::find_if(g_starts.names.begin(), g_starts.names.end(), [&name](const NameStarts& other) {
        return CompareStringOrdinal(name.c_str(), -1, other.name.c_str(), -1, TRUE) == CSTR_EQUAL;
    });
    return found == g_starts.names.end() ? nullptr : &*found;
}

}  // namespace

unsigned long CHostStartGate::Seen(const std::wstring& displayName) {
    AcquireSRWLockExclusive(&g_starts.lock);
    ScopeGuard unlock(&Unlock);
    const NameStarts* starts = Find(displayName);
    return starts ? starts->changes : 0;
}

CHostStartGate::Decision CHostStartGate::TryStart(const std::wstring& displayName, unsigned long seen,
                                                  DWORD startupWait, ULONGLONG& sentAgo) {
    NameStarts record{displayName};  // copied before the lock
    const ULONGLONG now = GetTickCount64();
    AcquireSRWLockExclusive(&g_starts.lock);
    ScopeGuard unlock(&Unlock);
    NameStarts* starts = Find(displayName);
    if (starts && starts->sentAt != 0 && now - starts->sentAt < startupWait) {
        sentAgo = now - starts->sentAt;
        return Decision::Wait;
    }
    if ((starts ? starts->changes : 0) != seen) return Decision::LookAgain;
    if (!starts) {
        g_starts.names.push_back(std::move(record));
        starts = &g_starts.names.back();
    }
    starts->sentAt = now;
    ++starts->changes;
    return Decision::Start;
}

void CHostStartGate::NotSent(const std::wstring& displayName) { (void)Found(displayName); }

bool CHostStartGate::Found(const std::wstring& displayName) {
    AcquireSRWLockExclusive(&g_starts.lock);
    ScopeGuard unlock(&Unlock);
    NameStarts* starts = Find(displayName);
    if (!starts || starts->sentAt == 0) return false;
    starts->sentAt = 0;
    ++starts->changes;
    return true;
}
