#pragma once
#include "support/UniqueHandle.h"
#include <windows.h>
#include <atomic>

class CRunContext;

// One caller at a time in the process: a host of a profile is driven by one command at a
// time, whichever object or apartment it comes from. A caller is COM's logical thread, which
// travels with each call across apartments: a Run that the holder's own client starts from
// inside one of its answers passes, on whatever thread it arrives. Another caller waits,
// serving calls into its apartment meanwhile, so that the Run it waits for can still call
// into it and end; but one that arrives on a thread where the holder's Run is in progress (an
// apartment letting calls in while its Run waits) would wait on itself, and is told so
// instead. So is a Run that a message sent by another thread starts there: it carries the
// logical thread of the call the thread is serving, yet it is nobody's answer.
class CRunLock {
public:
    // The process's lock.
    static CRunLock& Process() noexcept;
    // The caller a Run on this thread belongs to: COM's logical thread.
    static GUID CurrentCaller() noexcept;

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
        // The Run's own context, from the turn on; a nested Run starts from the value of the
        // Run it re-entered (null for none).
        void SetContext(CRunContext* context) noexcept { m_context = context; }
        const CRunContext* OuterContext() const noexcept { return m_next ? m_next->m_context : nullptr; }

    private:
        friend class CRunLock;
        CRunLock& m_lock;
        const GUID m_caller;
        const DWORD m_thread;
        const bool m_sentMessage;  // dispatched from a message another thread sent
        CRunContext* m_context = nullptr;
        bool m_held = false;
        bool m_holderHere = false;
        Hold* m_next = nullptr;  // the next older hold of the same caller
    };

    // A thread working for a caller's Run in an apartment of the component's, for its
    // lifetime: a Run that its calls lead the client to start counts as that caller's.
    class Delegate {
    public:
        Delegate(CRunLock& lock, const GUID& caller) noexcept;
        Delegate(const Delegate&) = delete;
        Delegate& operator=(const Delegate&) = delete;
        ~Delegate();

    private:
        friend class CRunLock;
        CRunLock& m_lock;
        const GUID m_own;
        const GUID m_caller;
        Delegate* m_next = nullptr;
    };

private:
    // With m_state held: whether caller is the holder or works for it.
    bool IsHolder(const GUID& caller) const noexcept;
    // With m_state held: takes the turn for hold when it may.
    bool TryTake(Hold& hold) noexcept;
    // m_state is held for a few instructions at a time: one exchange takes it, a store
    // gives it back, no call into the system (a Run costs little more than its client calls).
    void Lock() noexcept;
    void Unlock() noexcept { m_state.store(false, std::memory_order_release); }

    std::atomic<bool> m_state{false};  // guards the fields below
    GUID m_caller{};                // the holder, valid while m_holds is not null
    Hold* m_holds = nullptr;        // the holder's Runs in progress, newest first
    Delegate* m_delegates = nullptr;
    unsigned m_waiters = 0;
    UniqueHandle m_turn;  // auto-reset: wakes a waiter when the holder's last Run ends
};
