#pragma once
#include <cstdint>
#include <string>

// Dates a file back: creation and last-write time both set to secondsAgo before now (Wine
// derives the creation time from the last write, Windows keeps both as set).
bool SetFileAge(const std::wstring& path, std::int64_t secondsAgo);

// Returns just after the system clock has begun a new second.
void AwaitNextSecond();
