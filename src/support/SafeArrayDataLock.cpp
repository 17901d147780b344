#include "SafeArrayDataLock.h"

SafeArrayDataLock::SafeArrayDataLock(SAFEARRAY* array) noexcept
    : m_array(array), m_hr(array ? SafeArrayLock(array) : E_POINTER) {
    if (SUCCEEDED(m_hr)) m_data = array->pvData;
}

SafeArrayDataLock::~SafeArrayDataLock() {
    if (SUCCEEDED(m_hr)) SafeArrayUnlock(m_array);
}
