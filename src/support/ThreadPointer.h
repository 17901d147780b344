#pragma once
#include <windows.h>
#include <winternl.h>

// GCC 12 takes the segment read inside NtCurrentTeb for an out-of-bounds array access.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
inline TEB* CurrentTeb() noexcept { return NtCurrentTeb(); }
#pragma GCC diagnostic pop

// A pointer of each thread's own in a system thread slot. It is read on every client call,
// where the runtime's emulated thread_local costs a lookup each time; the first 64 slots are
// used straight in the thread's environment block, as the system's own functions do. Reading
// keeps the thread's last-error code, which a caller may not have read yet. The slots are
// given back when the module unloads.
template <class T>
class ThreadPointer {
public:
    ThreadPointer() noexcept : m_index(TlsAlloc()) {}
    ThreadPointer(const ThreadPointer&) = delete;
    ThreadPointer& operator=(const ThreadPointer&) = delete;
    ~ThreadPointer() {
        if (valid()) TlsFree(m_index);
    }
    bool valid() const noexcept { return m_index != TLS_OUT_OF_INDEXES; }
    T* get() const noexcept {
        if (m_index < TLS_MINIMUM_AVAILABLE) return static_cast<T*>(CurrentTeb()->TlsSlots[m_index]);
        if (!valid()) return nullptr;
        const DWORD error = GetLastError();
        T* value = static_cast<T*>(TlsGetValue(m_index));
        SetLastError(error);
        return value;
    }
    void set(T* value) const noexcept {
        if (m_index < TLS_MINIMUM_AVAILABLE)
            CurrentTeb()->TlsSlots[m_index] = value;
        else if (valid())
            TlsSetValue(m_index, value);
    }

private:
    DWORD m_index;
};
