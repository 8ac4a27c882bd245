// Time and errors on Windows: the system's own calls, with the same seams
// as on Linux so that tests can drive the tick counter and the clock.
#include "platform/WinTime.h"

#include <mutex>

#include "platform/win/Native.h"

namespace {
std::mutex g_source_mutex;
std::function<DWORD()> g_tick_source;
std::function<__time64_t()> g_time_source;
}  // namespace

DWORD GetTickCount() {
  std::lock_guard<std::mutex> lock(g_source_mutex);
  return g_tick_source ? g_tick_source() : platform::native::tick_count();
}

void Sleep(DWORD milliseconds) { platform::native::sleep_ms(milliseconds); }

DWORD GetLastError() { return platform::native::last_error(); }

void SetLastError(DWORD code) { platform::native::set_last_error(code); }

namespace platform {

__time64_t time64(__time64_t* out) {
  __time64_t now;
  {
    std::lock_guard<std::mutex> lock(g_source_mutex);
    now = g_time_source ? g_time_source() : native::time64();
  }
  if (out) *out = now;
  return now;
}

void set_tick_source(std::function<DWORD()> source) {
  std::lock_guard<std::mutex> lock(g_source_mutex);
  g_tick_source = std::move(source);
}

void set_time_source(std::function<__time64_t()> source) {
  std::lock_guard<std::mutex> lock(g_source_mutex);
  g_time_source = std::move(source);
}

}  // namespace platform
