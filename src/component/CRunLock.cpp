#include "CRunLock.h"
#include "support/ApartmentWait.h"

CRunLock::CRunLock() noexcept : m_free(CreateEventW(nullptr, FALSE, TRUE, nullptr)) {}

CRunLock::Hold::Hold(CRunLock& lock) noexcept : m_lock(lock), m_status(S_OK) {
    const DWORD self = GetCurrentThreadId();
    if (lock.m_owner.load(std::memory_order_relaxed) == self)
        m_nested = true;
    else if (!lock.m_free.valid())
        m_status = E_OUTOFMEMORY;
    else if (!WaitServingCalls(lock.m_free.get(), INFINITE))
        m_status = E_FAIL;
    else
        lock.m_owner.store(self, std::memory_order_relaxed);
    if (SUCCEEDED(m_status)) ++lock.m_depth;
}

CRunLock::Hold::~Hold() {
    if (FAILED(m_status) || --m_lock.m_depth > 0) return;
    m_lock.m_owner.store(0, std::memory_order_relaxed);
    SetEvent(m_lock.m_free.get());
}
