#pragma once
#include "support/UniqueHandle.h"
#include <windows.h>
#include <atomic>

// One caller at a time on a CAI_Call object, whose host reference a Run may replace. A caller
// is COM's logical thread, which travels with each call across apartments: a Run that the
// holder's own client starts from inside one of its answers passes, on whatever thread it
// arrives. Another caller waits, serving calls into its apartment meanwhile, so that the Run
// it waits for can still call into it and end; but one that arrives on a thread where the
// holder's Run is in progress (an apartment letting calls in while its Run waits) would wait
// on itself, and is told so instead.
class CRunLock {
public:
    CRunLock() noexcept;
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    // A caller's turn: taken at construction when the lock is free or the caller's own.
    class Hold {
    public:
        Hold(CRunLock& lock, const GUID& caller) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();

        bool Held() const noexcept { return m_held; }
        // Not held because another caller's Run is in progress on this thread.
        bool HolderOnThisThread() const noexcept { return m_holderHere; }
        // Waits at most milliseconds (INFINITE: without limit) for the turn. False at the
        // limit, or at once when the lock has no event (the process is out of handles).
        bool Wait(DWORD milliseconds) noexcept;

    private:
        friend class CRunLock;
        CRunLock& m_lock;
        const GUID m_caller;
        const DWORD m_thread;
        bool m_held = false;
        bool m_holderHere = false;
        Hold* m_next = nullptr;  // the next older hold of the same caller
    };

private:
    // With m_state held: takes the turn for hold when it may.
    bool TryTake(Hold& hold) noexcept;
    // m_state is held for a few instructions at a time: one exchange takes it, a store
    // gives it back, no call into the system (a Run costs little more than its client calls).
    void Lock() noexcept;
    void Unlock() noexcept { m_state.store(false, std::memory_order_release); }

    std::atomic<bool> m_state{false};  // guards the fields below
    GUID m_caller{};                // the holder, valid while m_holds is not null
    Hold* m_holds = nullptr;        // the holder's Runs in progress, newest first
    unsigned m_waiters = 0;
    UniqueHandle m_turn;  // auto-reset: wakes a waiter when the holder's last Run ends
};
