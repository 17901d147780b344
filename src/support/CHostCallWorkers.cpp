#include "CHostCallWorkers.h"
#include <algorithm>
#include <utility>
#include <vector>

namespace {

struct Workers {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<CHostCallWorkers::Record*> running;
};

Workers g_workers;

class WorkersLock {
public:
    WorkersLock() noexcept { AcquireSRWLockExclusive(&g_workers.lock); }
    ~WorkersLock() { ReleaseSRWLockExclusive(&g_workers.lock); }
    WorkersLock(const WorkersLock&) = delete;
    WorkersLock& operator=(const WorkersLock&) = delete;
};

}  // namespace

void CHostCallWorkers::Add(Record* worker) {
    WorkersLock lock;
    g_workers.running.push_back(worker);
}

IStream* CHostCallWorkers::End(Record* worker) noexcept {
    WorkersLock lock;
    auto& running = g_workers.running;
    running.erase(std::remove(running.begin(), running.end(), worker), running.end());
    return std::exchange(worker->releaseAfterCall, nullptr);
}

void CHostCallWorkers::MarkAbandoned(Record* worker) noexcept {
    const DWORD thread = GetCurrentThreadId();
    WorkersLock lock;
    auto& running = g_workers.running;
    if (std::find(running.begin(), running.end(), worker) == running.end()) return;
    for (Record* other : running)
        if (other->abandonedBy == thread) other->abandonedBy = 0;
    worker->abandonedBy = thread;
}

LONG CHostCallWorkers::Running() noexcept {
    WorkersLock lock;
    return static_cast<LONG>(g_workers.running.size());
}

bool CHostCallWorkers::ReleaseAfterAbandonedCall(IStream* marshalled) noexcept {
    const DWORD thread = GetCurrentThreadId();
    WorkersLock lock;
    for (Record* worker : g_workers.running) {
        if (worker->abandonedBy != thread) continue;
        worker->abandonedBy = 0;
        worker->releaseAfterCall = marshalled;
        return true;
    }
    return false;
}
