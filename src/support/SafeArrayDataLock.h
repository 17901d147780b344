#pragma once
#include <windows.h>
#include <ole2.h>

// Holds the array locked for one scope (what SafeArrayAccessData does, in one call less);
// it is unlocked on every path.
class SafeArrayDataLock {
public:
    explicit SafeArrayDataLock(SAFEARRAY* array) noexcept;
    SafeArrayDataLock(const SafeArrayDataLock&) = delete;
    SafeArrayDataLock& operator=(const SafeArrayDataLock&) = delete;
    ~SafeArrayDataLock();

    HRESULT status() const noexcept { return m_hr; }
    void* data() const noexcept { return m_data; }

private:
    SAFEARRAY* m_array;
    void* m_data = nullptr;
    HRESULT m_hr;
};
