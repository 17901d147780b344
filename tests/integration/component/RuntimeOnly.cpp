// The yardstick of the unload test: a DLL of the component's toolchain whose load and unload
// run only its static runtime's start-up and shut-down (static objects, their locks).
#include <mutex>
#include <string>

namespace {
std::mutex g_lock;
std::wstring g_text = L"runtime only";
}  // namespace
