#include "CComponentThreads.h"
#include "CModulePin.h"
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

// What a thread needs to run and then to let go of the module; the thread frees it.
struct Launch {
    LPTHREAD_START_ROUTINE procedure;
    void* argument;
    HMODULE module;
};

// Every thread starts here. The module's last reference may be this thread's: then the
// module unloads on this thread (its share of the runtime is freed at unload) and the
// thread ends outside the module's code.
DWORD WINAPI RunThenLeaveModule(void* parameter) noexcept {
    const Launch launch = *static_cast<Launch*>(parameter);
    delete static_cast<Launch*>(parameter);
    FreeLibraryAndExitThread(launch.module, launch.procedure(launch.argument));
}

// Undoes a launch whose thread never ran.
void Abandon(Launch* launch) noexcept {
    const DWORD error = GetLastError();
    FreeLibrary(launch->module);  // never the last reference: the caller runs in the module
    delete launch;
    SetLastError(error);
}

}  // namespace

HANDLE CComponentThreads::Start(LPTHREAD_START_ROUTINE procedure, void* argument) noexcept {
    CModulePin::Pin();
    auto* launch = new (std::nothrow) Launch{procedure, argument, nullptr};
    if (!launch) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&RunThenLeaveModule),
                            &launch->module)) {
        const DWORD error = GetLastError();
        delete launch;
        SetLastError(error);
        return nullptr;
    }
    AcquireSRWLockExclusive(&g_threads.lock);
    HANDLE thread = nullptr;
    try {
        ForgetEnded(g_threads.handles);  // a process may search thousands of times between unload checks
        g_threads.handles.reserve(g_threads.handles.size() + 1);
        // Created suspended so that the handle is kept before the thread can run and end.
        thread = CreateThread(nullptr, 0, &RunThenLeaveModule, launch, CREATE_SUSPENDED, nullptr);
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
    if (!thread) {
        Abandon(launch);
        return nullptr;
    }
    ResumeThread(thread);
    return thread;
}

bool CComponentThreads::AnyRunning() noexcept {
    AcquireSRWLockExclusive(&g_threads.lock);
    ForgetEnded(g_threads.handles);
    const bool running = !g_threads.handles.empty();
    ReleaseSRWLockExclusive(&g_threads.lock);
    return running;
}
