#pragma once
#include <windows.h>
#include <unknwn.h>
#include <utility>

// Owning COM interface pointer: copy AddRefs, move steals, put() releases first,
// attach() adopts a reference the caller already owns.
template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    explicit ComPtr(T* p) noexcept : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& o) noexcept : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(const ComPtr& o) noexcept {
        if (o.m_p) o.m_p->AddRef();
        reset();
        m_p = o.m_p;
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) { reset(); m_p = std::exchange(o.m_p, nullptr); }
        return *this;
    }

    void reset() noexcept { if (T* p = std::exchange(m_p, nullptr)) p->Release(); }
    void attach(T* p) noexcept { reset(); m_p = p; }
    [[nodiscard]] T* detach() noexcept { return std::exchange(m_p, nullptr); }
    T** put() noexcept { reset(); return &m_p; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // Hands out an AddRef'd copy, as COM out-parameters expect.
    void copy_to(T** out) const noexcept { *out = m_p; if (m_p) m_p->AddRef(); }

    template <class U>
    HRESULT query(ComPtr<U>& out) const noexcept {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(__uuidof(U), out.put_void());
    }

private:
    T* m_p = nullptr;
};
