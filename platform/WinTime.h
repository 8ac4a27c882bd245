#pragma once
// Time and error calls with the Windows contracts: GetTickCount wraps after
// 49.7 days, _time64 is seconds since 1970. Tests replace both sources.
#include <functional>
#include "platform/WinTypes.h"

DWORD GetTickCount();
void Sleep(DWORD milliseconds);
#ifdef _WIN32
// The Windows runtime declares _time64 itself; the plug-in's calls take the
// clock below, which tests can replace.
#include <ctime>
namespace platform {
__time64_t time64(__time64_t* out);
}
#define _time64 platform::time64
#else
__time64_t _time64(__time64_t* out);
#endif
DWORD GetLastError();
void SetLastError(DWORD code);

namespace platform {
// Test seams: a null function restores the real clock.
void set_tick_source(std::function<DWORD()> source);
void set_time_source(std::function<__time64_t()> source);
}
