#pragma once
#include <utility>

// A process-wide object created on first use and deleted only by the module's shut-down
// (or a test). The accessor takes no lock: the component serves one Run at a time.
template <class T>
class Singleton {
public:
    static T& Instance() {
        if (!s_instance) s_instance = new T();
        return *s_instance;
    }
    static T* Existing() noexcept { return s_instance; }
    static void DestroyInstance() noexcept { delete std::exchange(s_instance, nullptr); }

protected:
    Singleton() = default;
    ~Singleton() = default;

private:
    static inline T* s_instance = nullptr;
};
