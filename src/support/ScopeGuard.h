#pragma once
#include <utility>

// Runs a cleanup when the scope ends, unless dismissed.
template <class F>
class ScopeGuard {
public:
    explicit ScopeGuard(F f) noexcept : m_f(std::move(f)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ~ScopeGuard() { if (m_active) m_f(); }
    void dismiss() noexcept { m_active = false; }

private:
    F m_f;
    bool m_active = true;
};
