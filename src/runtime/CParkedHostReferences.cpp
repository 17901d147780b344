#include "CParkedHostReferences.h"
#include "CApartmentEndSpy.h"
#include "CHostCallWorkers.h"
#include "support/ComPtr.h"
#include "support/ScopeGuard.h"
#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

namespace {

struct Parked {
    DWORD thread;         // the apartment's thread; any thread of it in the multithreaded one
    bool multithreaded;
    unsigned long worker;  // the worker whose host call they wait for
    std::vector<ComPtr<IUnknown>> references;
};

struct ParkedList {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<Parked> entries;
};

ParkedList g_parked;
std::atomic<LONG> g_count{0};  // entries, read without the lock by every Run

void Unlock() noexcept { ReleaseSRWLockExclusive(&g_parked.lock); }

bool InMultithreadedApartment() noexcept {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
}

// Takes out the entries this thread may let go of; ending: its own single-threaded
// apartment is going, and what the host has not answered for is left to it unreleased.
std::vector<Parked> Take(bool ending) noexcept {
    const DWORD thread = GetCurrentThreadId();
    const bool multithreaded = InMultithreadedApartment();
    std::vector<Parked> taken;
    AcquireSRWLockExclusive(&g_parked.lock);
    ScopeGuard unlock(&Unlock);
    auto& entries = g_parked.entries;
    for (auto it = entries.begin(); it != entries.end();) {
        const bool ours = it->multithreaded ? multithreaded : it->thread == thread;
        const bool answered = !CHostCallWorkers::IsRunning(it->worker);
        if (!ours || !(answered || (ending && !it->multithreaded))) {
            ++it;
            continue;
        }
        if (!answered)
            for (ComPtr<IUnknown>& reference : it->references) (void)reference.detach();
        try {
            taken.push_back(std::move(*it));
        } catch (const std::bad_alloc&) {
            break;  // the rest waits for the next chance
        }
        it = entries.erase(it);
        --g_count;
    }
    return taken;  // released here, outside the lock: each release calls the host
}

void ApartmentEnding() noexcept { (void)Take(true); }

}  // namespace

void CParkedHostReferences::Park(std::initializer_list<IUnknown*> references) noexcept {
    Parked parked{GetCurrentThreadId(), InMultithreadedApartment(), CHostCallWorkers::TakeAbandoned(), {}};
    try {
        parked.references.reserve(references.size());
        for (IUnknown* reference : references) {
            if (!reference) continue;
            parked.references.emplace_back();
            parked.references.back().attach(reference);
        }
        if (parked.worker == 0) return;  // the open has returned: they go at once, here
        // A thread that leaves COM lets go of what is its apartment's.
        if (!parked.multithreaded) (void)CApartmentEndSpy::Watch(&ApartmentEnding);
        AcquireSRWLockExclusive(&g_parked.lock);
        ScopeGuard unlock(&Unlock);
        g_parked.entries.push_back(std::move(parked));
        ++g_count;
    } catch (const std::bad_alloc&) {
        // Left unreleased: better a reference lost than a Run that hangs releasing it.
        for (ComPtr<IUnknown>& reference : parked.references) (void)reference.detach();
    }
}

void CParkedHostReferences::ReleaseAnswered() noexcept {
    if (g_count.load(std::memory_order_relaxed) != 0) (void)Take(false);
}

bool CParkedHostReferences::Any() noexcept { return g_count.load() != 0; }
