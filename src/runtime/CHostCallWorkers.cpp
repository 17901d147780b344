#include "CHostCallWorkers.h"
#include "support/ScopeGuard.h"
#include <algorithm>
#include <vector>

namespace {

struct Workers {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<CHostCallWorkers::Record*> running;
    unsigned long lastId = 0;
};

Workers g_workers;

void Unlock() noexcept { ReleaseSRWLockExclusive(&g_workers.lock); }

}  // namespace

void CHostCallWorkers::Add(Record* worker) {
    AcquireSRWLockExclusive(&g_workers.lock);
    ScopeGuard unlock(&Unlock);
    if (++g_workers.lastId == 0) ++g_workers.lastId;
    worker->id = g_workers.lastId;
    g_workers.running.push_back(worker);
}

void CHostCallWorkers::End(Record* worker) noexcept {
    AcquireSRWLockExclusive(&g_workers.lock);
    ScopeGuard unlock(&Unlock);
    auto& running = g_workers.running;
    running.erase(std::remove(running.begin(), running.end(), worker), running.end());
}

void CHostCallWorkers::MarkAbandoned(Record* worker) noexcept {
    const DWORD thread = GetCurrentThreadId();
    AcquireSRWLockExclusive(&g_workers.lock);
    ScopeGuard unlock(&Unlock);
    auto& running = g_workers.running;
    if (std::find(running.begin(), running.end(), worker) == running.end()) return;
    for (Record* other : running)
        if (other->abandonedBy == thread) other->abandonedBy = 0;
    worker->abandonedBy = thread;
}

LONG CHostCallWorkers::Running() noexcept {
    AcquireSRWLockExclusive(&g_workers.lock);
    ScopeGuard unlock(&Unlock);
    return static_cast<LONG>(g_workers.running.size());
}

unsigned long CHostCallWorkers::TakeAbandoned() noexcept {
    const DWORD thread = GetCurrentThreadId();
    AcquireSRWLockExclusive(&g_workers.lock);
    ScopeGuard unlock(&Unlock);
    for (Record* worker : g_workers.running) {
        if (worker->abandonedBy != thread) continue;
        worker->abandonedBy = 0;
        return worker->id;
    }
    return 0;
}

bool CHostCallWorkers::IsRunning(unsigned long id) noexcept {
    AcquireSRWLockExclusive(&g_workers.lock);
    ScopeGuard unlock(&Unlock);
    return std::any_of(g_workers.running.begin(), g_workers.running.end(),
                       [id](const Record* worker) { return worker->id == id; });
}
