#pragma once
#include <windows.h>

// Added to the flags of every CreateFileW of ours: a path that leads to a named pipe after all
// must not let the pipe's server act as the component's account (identification only).
constexpr DWORD kNoImpersonation = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
