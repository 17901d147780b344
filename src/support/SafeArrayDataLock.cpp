#include "SafeArrayDataLock.h"

SafeArrayDataLock::SafeArrayDataLock(SAFEARRAY* array) noexcept
    : m_array(array), m_hr(array ? SafeArrayAccessData(array, &m_data) : E_POINTER) {}

SafeArrayDataLock::~SafeArrayDataLock() {
    if (SUCCEEDED(m_hr)) SafeArrayUnaccessData(m_array);
}
