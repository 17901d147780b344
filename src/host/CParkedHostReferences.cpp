#include "CParkedHostReferences.h"
#include "documents/CTimedOpen.h"
#include <algorithm>
#include <new>
#include <vector>

namespace {

struct Parked {
    DWORD thread;
    ComPtr<IUnknown> reference;
};

struct ParkedReferences {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<Parked> entries;

    // Only at process end can any be left: no call to the host may be made from there.
    ~ParkedReferences() {
        for (Parked& entry : entries) (void)entry.reference.detach();
    }
};

ParkedReferences g_parked;

}  // namespace

void CParkedHostReferences::Park(std::initializer_list<IUnknown*> references) noexcept {
    const DWORD thread = GetCurrentThreadId();
    AcquireSRWLockExclusive(&g_parked.lock);
    try {
        g_parked.entries.reserve(g_parked.entries.size() + references.size());
        for (IUnknown* reference : references) {
            if (!reference) continue;
            Parked entry{thread, {}};
            entry.reference.attach(reference);
            g_parked.entries.push_back(std::move(entry));
        }
    } catch (const std::bad_alloc&) {
        // Left unreleased: better a reference lost than a Run that hangs releasing it.
    }
    ReleaseSRWLockExclusive(&g_parked.lock);
}

void CParkedHostReferences::ReleaseAnswered() noexcept {
    if (CTimedOpen::RunningWorkers() != 0) return;
    const DWORD thread = GetCurrentThreadId();
    std::vector<Parked> mine;
    AcquireSRWLockExclusive(&g_parked.lock);
    auto& entries = g_parked.entries;
    const auto others = std::stable_partition(entries.begin(), entries.end(),
                                              [thread](const Parked& p) { return p.thread != thread; });
    try {
        mine.assign(std::make_move_iterator(others), std::make_move_iterator(entries.end()));
        entries.erase(others, entries.end());
    } catch (const std::bad_alloc&) {
        // They stay parked for the next time.
    }
    ReleaseSRWLockExclusive(&g_parked.lock);
    // Released outside the lock: each release is a call to the host.
}

bool CParkedHostReferences::Any() noexcept {
    AcquireSRWLockShared(&g_parked.lock);
    const bool any = !g_parked.entries.empty();
    ReleaseSRWLockShared(&g_parked.lock);
    return any;
}
