#include "CRunLock.h"
#include "support/ApartmentWait.h"
#include <objbase.h>

namespace {

CRunLock g_process;

}  // namespace

CRunLock& CRunLock::Process() noexcept { return g_process; }

GUID CRunLock::CurrentCaller() noexcept {
    GUID caller{};
    if (FAILED(CoGetCurrentLogicalThreadId(&caller))) caller.Data1 = GetCurrentThreadId();
    return caller;
}

CRunLock::Delegate::Delegate(CRunLock& lock, const GUID& caller) noexcept
    : m_lock(lock), m_own(CurrentCaller()), m_caller(caller) {
    lock.Lock();
    m_next = lock.m_delegates;
    lock.m_delegates = this;
    lock.Unlock();
}

CRunLock::Delegate::~Delegate() {
    m_lock.Lock();
    for (Delegate** link = &m_lock.m_delegates; *link; link = &(*link)->m_next) {
        if (*link != this) continue;
        *link = m_next;
        break;
    }
    m_lock.Unlock();
}

bool CRunLock::IsHolder(const GUID& caller) const noexcept {
    if (IsEqualGUID(m_caller, caller)) return true;
    for (const Delegate* delegate = m_delegates; delegate; delegate = delegate->m_next)
        if (IsEqualGUID(delegate->m_own, caller) && IsEqualGUID(delegate->m_caller, m_caller)) return true;
    return false;
}

CRunLock::CRunLock() noexcept : m_turn(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

void CRunLock::Lock() noexcept {
    while (m_state.exchange(true, std::memory_order_acquire))
        while (m_state.load(std::memory_order_relaxed)) SwitchToThread();
}

bool CRunLock::TryTake(Hold& hold) noexcept {
    if (m_holds) {
        bool holderHere = false, answer = IsHolder(hold.m_caller);
        for (const Hold* other = m_holds; other; other = other->m_next) {
            if (other->m_thread != hold.m_thread) continue;
            holderHere = true;
            if (hold.m_sentMessage && !other->m_sentMessage) answer = false;
        }
        if (!answer) {
            hold.m_holderHere = holderHere;
            return false;
        }
    } else {
        m_caller = hold.m_caller;
    }
    hold.m_next = m_holds;
    m_holds = &hold;
    hold.m_held = true;
    hold.m_holderHere = false;
    return true;
}

CRunLock::Hold::Hold(CRunLock& lock, const GUID& caller) noexcept
    : m_lock(lock), m_caller(caller), m_thread(GetCurrentThreadId()), m_sentMessage(InSendMessage() != FALSE) {
    lock.Lock();
    lock.TryTake(*this);
    lock.Unlock();
}

bool CRunLock::Hold::Wait(DWORD milliseconds) noexcept {
    if (m_held) return true;
    if (!m_lock.m_turn.valid()) return false;
    const DWORD begin = GetTickCount();
    m_lock.Lock();
    ++m_lock.m_waiters;
    // Woken, a waiter looks again: another caller may have come first.
    while (!m_lock.TryTake(*this)) {
        const DWORD waited = GetTickCount() - begin;
        if (milliseconds != INFINITE && waited >= milliseconds) break;
        m_lock.Unlock();
        (void)WaitServingCalls(m_lock.m_turn.get(), milliseconds == INFINITE ? INFINITE : milliseconds - waited);
        m_lock.Lock();
    }
    --m_lock.m_waiters;
    m_lock.Unlock();
    return m_held;
}

CRunLock::Hold::~Hold() {
    if (!m_held) return;
    m_lock.Lock();
    // Runs of one caller end innermost first, but a hold is found wherever it is.
    for (Hold** link = &m_lock.m_holds; *link; link = &(*link)->m_next) {
        if (*link != this) continue;
        *link = m_next;
        break;
    }
    const bool wake = !m_lock.m_holds && m_lock.m_waiters > 0;
    m_lock.Unlock();
    if (wake) SetEvent(m_lock.m_turn.get());
}
