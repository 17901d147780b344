#pragma once
#include <atomic>

// What one Run sets for itself, on the thread it runs on: its quiet scope. It is never
// another caller's: a Run of another object or apartment reads its own. A Run the client
// re-enters from inside one of its answers starts with the value of the Run it re-entered,
// and a thread working for a Run (the cancel thread) gets the Run's value in one of its own.
class CRunContext {
public:
    explicit CRunContext(bool quiet) noexcept;
    CRunContext(const CRunContext&) = delete;
    CRunContext& operator=(const CRunContext&) = delete;
    ~CRunContext();

    // The calling thread's innermost Run context; null outside a Run.
    static CRunContext* Current() noexcept;
    // Whether the calling thread's Run is quiet (false outside a Run).
    static bool CurrentQuiet() noexcept {
        const CRunContext* run = Current();
        return run && run->Quiet();
    }
    bool Quiet() const noexcept { return m_quiet.load(std::memory_order_relaxed); }
    // Returns the value in force before.
    bool SetQuiet(bool quiet) noexcept { return m_quiet.exchange(quiet, std::memory_order_relaxed); }

private:
    // Read by a nested Run of the same caller on another thread while this one waits for it.
    std::atomic<bool> m_quiet;
    CRunContext* m_outer;
};
