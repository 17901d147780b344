#include "CComponentThreads.h"
#include <algorithm>
#include <new>
#include <vector>

namespace {

// Handles of the threads not seen ended yet; one lock for Run threads and the unload check.
struct RunningThreads {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<HANDLE> handles;

    ~RunningThreads() {
        for (HANDLE handle : handles) CloseHandle(handle);
    }
};

RunningThreads g_threads;

bool Ended(HANDLE thread) noexcept { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

// Closes the handles of ended threads; called with the lock held.
void ForgetEnded(std::vector<HANDLE>& handles) noexcept {
    const auto ended = std::stable_partition(handles.begin(), handles.end(), [](HANDLE h) { return !Ended(h); });
    for (auto it = ended; it != handles.end(); ++it) CloseHandle(*it);
    handles.erase(ended, handles.end());
}

}  // namespace

HANDLE CComponentThreads::Start(LPTHREAD_START_ROUTINE procedure, void* argument) noexcept {
    AcquireSRWLockExclusive(&g_threads.lock);
    HANDLE thread = nullptr;
    try {
        ForgetEnded(g_threads.handles);  // a process may search thousands of times between unload checks
        g_threads.handles.reserve(g_threads.handles.size() + 1);
        // Created suspended so that the handle is kept before the thread can run and end.
        thread = CreateThread(nullptr, 0, procedure, argument, CREATE_SUSPENDED, nullptr);
        HANDLE kept = nullptr;
        if (thread && !DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &kept, SYNCHRONIZE, FALSE, 0)) {
            const DWORD error = GetLastError();
            TerminateThread(thread, 0);  // it never ran
            CloseHandle(thread);
            SetLastError(error);
            thread = nullptr;
        }
        if (thread) g_threads.handles.push_back(kept);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    ReleaseSRWLockExclusive(&g_threads.lock);
    if (thread) ResumeThread(thread);
    return thread;
}

bool CComponentThreads::AnyRunning() noexcept {
    AcquireSRWLockExclusive(&g_threads.lock);
    ForgetEnded(g_threads.handles);
    const bool running = !g_threads.handles.empty();
    ReleaseSRWLockExclusive(&g_threads.lock);
    return running;
}
