#include "CHostCallApartment.h"
#include "CComponentThreads.h"
#include "support/ApartmentWait.h"
#include "support/ResultMacros.h"
#include "support/UniqueHandle.h"
#include <memory>
#include <new>

namespace {

std::atomic<LONG> g_running{0};

// What the command's thread and the apartment's thread share; whichever ends last frees it.
struct Shared {
    explicit Shared(const CHostCallApartment::Work& work) : work(work) {}
    CHostCallApartment::Work work;
    CHostCallApartment::Job job;
    UniqueHandle changed{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    HRESULT result = E_FAIL;  // read by the command only once the thread has ended
};

DWORD WINAPI ApartmentThread(void* parameter) noexcept {
    const std::unique_ptr<std::shared_ptr<Shared>> share(static_cast<std::shared_ptr<Shared>*>(parameter));
    Shared& shared = **share;
    const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT hr = entered;
    if (SUCCEEDED(entered)) {
        try {
            hr = shared.work(shared.job);
        } catch (...) {
            hr = HResultFromCaught();
        }
        CoUninitialize();
    }
    shared.result = hr;
    --g_running;
    return static_cast<DWORD>(hr);
}

}  // namespace

void CHostCallApartment::Job::BeginLimited() noexcept {
    m_limitedSince = GetTickCount64();
    m_phase = kLimited;
    SetEvent(m_changed);
}

bool CHostCallApartment::Job::EndLimited() noexcept {
    int limited = kLimited;
    if (!m_phase.compare_exchange_strong(limited, kAfter)) return limited != kGivenUp;
    SetEvent(m_changed);
    return true;
}

HRESULT CHostCallApartment::Run(const Work& work, DWORD limit, bool& gaveUp) {
    gaveUp = false;
    auto shared = std::make_shared<Shared>(work);
    if (!shared->changed.valid()) return HResultFromLastError();
    shared->job.m_changed = shared->changed.get();
    auto share = std::make_unique<std::shared_ptr<Shared>>(shared);
    ++g_running;
    UniqueHandle thread(CComponentThreads::Start(&ApartmentThread, share.get()));
    if (!thread.valid()) {
        const HRESULT hr = HResultFromLastError();
        --g_running;
        return hr;
    }
    (void)share.release();  // the thread's share now

    Job& job = shared->job;
    for (;;) {
        DWORD wait = INFINITE;
        if (job.m_phase.load() == Job::kLimited) {
            const ULONGLONG waited = GetTickCount64() - job.m_limitedSince.load();
            if (waited >= limit) {
                int limited = Job::kLimited;
                if (job.m_phase.compare_exchange_strong(limited, Job::kGivenUp)) {
                    gaveUp = true;
                    return HR_TIMEOUT;
                }
                continue;  // the limited step has just ended
            }
            wait = static_cast<DWORD>(limit - waited);
        }
        if (WaitServingCalls(thread.get(), shared->changed.get(), wait) == 0) break;
    }
    return shared->result;
}

LONG CHostCallApartment::Running() noexcept { return g_running.load(); }
