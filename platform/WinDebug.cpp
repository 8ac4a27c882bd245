#include "platform/WinDebug.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
std::mutex g_sink_mutex;
std::function<void(const std::wstring&)> g_sink;
const bool g_to_stderr = std::getenv("TIDEWELL_DEBUGVIEW") != nullptr;
}  // namespace

void OutputDebugStringW(const wchar_t* text) {
  if (!text) return;
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  if (g_sink) g_sink(text);
  if (g_to_stderr) std::fprintf(stderr, "%ls\n", text);
}

namespace platform {
void set_debug_sink(std::function<void(const std::wstring&)> sink) {
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  g_sink = std::move(sink);
}
}  // namespace platform
