#include "platform/WinDebug.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
std::mutex g_sink_mutex;
std::function<void(const std::wstring&)> g_sink;
// Whether a sink is set, readable without the lock: the attack log sends a
// text here for every ARP frame, and usually nobody listens.
std::atomic<bool> g_has_sink{false};
const bool g_to_stderr = std::getenv("TIDEWELL_DEBUGVIEW") != nullptr;
}  // namespace

void OutputDebugStringW(const wchar_t* text) {
  if (!text || !platform::debug_output_wanted()) return;
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  if (g_sink) g_sink(text);
  if (g_to_stderr) std::fprintf(stderr, "%ls\n", text);
}

namespace platform {
bool debug_output_wanted() { return g_to_stderr || g_has_sink.load(std::memory_order_acquire); }

void set_debug_sink(std::function<void(const std::wstring&)> sink) {
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  g_sink = std::move(sink);
  g_has_sink.store(static_cast<bool>(g_sink), std::memory_order_release);
}
}  // namespace platform
