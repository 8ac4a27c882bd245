#include "platform/WinTime.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <thread>

namespace {
std::mutex g_source_mutex;
std::function<DWORD()> g_tick_source;
std::atomic<bool> g_has_tick_source{false};
std::function<__time64_t()> g_time_source;
thread_local DWORD g_last_error = 0;

// The coarse clock is read without the fine clock's counter and is as fine
// as Windows' own tick count (a few milliseconds): the capture thread reads
// it for every ARP frame.
DWORD monotonic_ms() {
  struct timespec ts;
  if (::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts) != 0) ::clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}
}  // namespace

DWORD GetTickCount() {
  // The capture thread asks for every ARP frame: without a test's source
  // installed, no lock is taken.
  if (!g_has_tick_source.load(std::memory_order_acquire)) return monotonic_ms();
  std::lock_guard<std::mutex> lock(g_source_mutex);
  return g_tick_source ? g_tick_source() : monotonic_ms();
}

void Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

__time64_t _time64(__time64_t* out) {
  __time64_t now;
  {
    std::lock_guard<std::mutex> lock(g_source_mutex);
    now = g_time_source ? g_time_source() : static_cast<__time64_t>(std::time(nullptr));
  }
  if (out) *out = now;
  return now;
}

DWORD GetLastError() { return g_last_error; }
void SetLastError(DWORD code) { g_last_error = code; }

namespace platform {
void set_tick_source(std::function<DWORD()> source) {
  std::lock_guard<std::mutex> lock(g_source_mutex);
  g_tick_source = std::move(source);
  g_has_tick_source.store(static_cast<bool>(g_tick_source), std::memory_order_release);
}
void set_time_source(std::function<__time64_t()> source) {
  std::lock_guard<std::mutex> lock(g_source_mutex);
  g_time_source = std::move(source);
}
}  // namespace platform
