#include "CRunLock.h"
#include "support/ApartmentWait.h"

CRunLock::CRunLock() noexcept : m_turn(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CRunLock::Hold::Hold(CRunLock& lock) noexcept : m_lock(lock) {
    const DWORD self = GetCurrentThreadId();
    if (lock.m_owner.load(std::memory_order_relaxed) == self) {
        m_nested = true;
        ++lock.m_depth;
        return;
    }
    if (!lock.m_turn.valid()) {
        m_status = E_OUTOFMEMORY;
        return;
    }
    // A holder that leaves while others are counted in hands the turn on through the event.
    if (lock.m_entrants.fetch_add(1, std::memory_order_acq_rel) > 0 && !WaitServingCalls(lock.m_turn.get(), INFINITE)) {
        lock.m_entrants.fetch_sub(1, std::memory_order_acq_rel);
        m_status = E_FAIL;
        return;
    }
    lock.m_owner.store(self, std::memory_order_relaxed);
    lock.m_depth = 1;
}

CRunLock::Hold::~Hold() {
    if (FAILED(m_status) || --m_lock.m_depth > 0) return;
    m_lock.m_owner.store(0, std::memory_order_relaxed);
    if (m_lock.m_entrants.fetch_sub(1, std::memory_order_acq_rel) > 1) SetEvent(m_lock.m_turn.get());
}
