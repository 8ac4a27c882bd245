// The debugger output on Windows: OutputDebugStringW itself (always wanted:
// a debugger may listen at any time), a test's sink, and standard error when
// TIDEWELL_DEBUGVIEW is set (there is no DebugView under Wine).
#include "platform/WinDebug.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/Utf8.h"
#include "platform/win/Native.h"

namespace {
std::mutex g_sink_mutex;
std::function<void(const std::wstring&)> g_sink;
const bool g_to_stderr = std::getenv("TIDEWELL_DEBUGVIEW") != nullptr;
}  // namespace

void OutputDebugStringW(const wchar_t* text) {
  if (!text) return;
  platform::native::output_debug_string(text);
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  if (g_sink) g_sink(text);
  if (g_to_stderr) {
    std::string line = platform::wide_to_utf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
}

namespace platform {
void set_debug_sink(std::function<void(const std::wstring&)> sink) {
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  g_sink = std::move(sink);
}
}  // namespace platform
