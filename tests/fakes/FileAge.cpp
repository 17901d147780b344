#include "FileAge.h"
#include "support/UniqueHandle.h"

namespace {

ULONGLONG Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace

bool SetFileAge(const std::wstring& path, std::int64_t secondsAgo) {
    ULARGE_INTEGER ticks;
    ticks.QuadPart = Now() - static_cast<ULONGLONG>(secondsAgo) * 10000000ULL;
    const FILETIME then{ticks.LowPart, ticks.HighPart};
    UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && SetFileTime(file.get(), &then, nullptr, &then);
}

void AwaitNextSecond() {
    const ULONGLONG second = Now() / 10000000ULL;
    while (Now() / 10000000ULL == second) Sleep(1);
}
