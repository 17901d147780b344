#pragma once
#include <windows.h>
#include <atomic>
#include <functional>

// An apartment of the component's own, a single-threaded one on a component thread, in which
// a command makes the host calls it may have to give up waiting for. The command's thread
// keeps no proxy to that host meanwhile, so giving up leaves nothing in the client's apartment
// that would call the stuck host when it is released: not at the command's end, not when the
// client's apartment ends, not at process end. The command's thread waits serving calls: for
// the job's limited step at most the limit, for the rest as long as the job takes. At the
// limit the apartment is given up with its proxies, never terminated: its thread goes on
// until the host answers, the job then returns at once and lets go of what it holds in its
// own apartment, and the thread leaves.
class CHostCallApartment {
public:
    // The job's side, on the apartment's thread.
    class Job {
    public:
        // Around the host calls that may be given up on.
        void BeginLimited() noexcept;
        // False when the command has given up meanwhile: the job then returns at once,
        // touching nothing of the command's.
        [[nodiscard]] bool EndLimited() noexcept;
        bool GivenUp() const noexcept { return m_phase.load() == kGivenUp; }

    private:
        friend class CHostCallApartment;
        enum Phase { kBefore, kLimited, kAfter, kGivenUp };
        std::atomic<int> m_phase{kBefore};
        std::atomic<ULONGLONG> m_limitedSince{0};
        HANDLE m_changed = nullptr;  // auto-reset, owned by the apartment's shared state
    };
    using Work = std::function<HRESULT(Job& job)>;

    // Runs work in a new apartment and returns its result; HR_TIMEOUT with gaveUp set when the
    // limited step outlasted limit; the failure when the thread cannot be started.
    [[nodiscard]] static HRESULT Run(const Work& work, DWORD limit, bool& gaveUp);
    // Apartments whose job has not returned yet, given up ones included.
    static LONG Running() noexcept;
};
