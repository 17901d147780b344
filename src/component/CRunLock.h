#pragma once
#include "support/UniqueHandle.h"
#include <windows.h>
#include <atomic>

// One Run at a time on a CAI_Call object, whose host reference a Run may replace. The
// thread that holds the lock may take it again: a client that re-enters Run from inside
// one of its answers. Other threads wait; an apartment thread serves calls meanwhile, so
// that the Run it waits for can still call into its apartment and end. A Run that finds the
// lock free takes it without a call into the system.
class CRunLock {
public:
    CRunLock() noexcept;
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    // Holds the lock for its lifetime, once Status() is S_OK.
    class Hold {
    public:
        explicit Hold(CRunLock& lock) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();

        // E_OUTOFMEMORY when the lock has no event (the process is out of handles), E_FAIL
        // when the wait failed.
        HRESULT Status() const noexcept { return m_status; }
        // Taken again by the thread that already held it.
        bool Nested() const noexcept { return m_nested; }

    private:
        CRunLock& m_lock;
        HRESULT m_status = S_OK;
        bool m_nested = false;
    };

private:
    std::atomic<LONG> m_entrants{0};  // threads holding or waiting for the lock
    UniqueHandle m_turn;              // auto-reset: hands the lock to one waiting thread
    std::atomic<DWORD> m_owner{0};
    unsigned m_depth = 0;  // touched only by the owner
};
