#include "FileAge.h"
#include "support/UniqueHandle.h"

bool SetFileAge(const std::wstring& path, std::int64_t secondsAgo) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    ticks.QuadPart -= static_cast<ULONGLONG>(secondsAgo) * 10000000ULL;
    const FILETIME then{ticks.LowPart, ticks.HighPart};
    UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && SetFileTime(file.get(), &then, nullptr, &then);
}
