#pragma once
#include <atomic>
#include <mutex>
#include <utility>

// A process-wide object created on first use and deleted only by the module's shut-down
// (or a test). Objects may be created on several threads at once (the class is registered
// for both threading models), so the first use is guarded; later uses take no lock.
template <class T>
class Singleton {
public:
    static T& Instance() {
        if (T* existing = s_instance.load(std::memory_order_acquire)) return *existing;
        std::lock_guard<std::mutex> lock(s_creation);
        if (!s_instance.load(std::memory_order_relaxed)) s_instance.store(new T(), std::memory_order_release);
        return *s_instance.load(std::memory_order_relaxed);
    }
    static T* Existing() noexcept { return s_instance.load(std::memory_order_acquire); }
    static void DestroyInstance() noexcept { delete s_instance.exchange(nullptr); }

protected:
    Singleton() = default;
    ~Singleton() = default;

private:
    static inline std::atomic<T*> s_instance{nullptr};
    static inline std::mutex s_creation;
};
