#include "fuzz/FuzzHome.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/WinUser.h"

FuzzHome& FuzzHome::ins() {
  static FuzzHome home;
  return home;
}

FuzzHome::FuzzHome() {
  platform::set_windows_headless(true);
  // The first alarm window stays open, so that later alarms merge into it at
  // once instead of waiting for a window that is closing.
  platform::set_headless_auto_close(false);
  platform::set_window_echo_sink([](const std::wstring&) {});
  // Alarms are echoed on standard output; libFuzzer reports on standard error.
  int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd >= 0) {
    dup2(null_fd, STDOUT_FILENO);
    close(null_fd);
  }
}

void FuzzHome::trim_core(unsigned every) {
  if (every == 0 || ++u_calls % every != 0) return;
  for (const char* name : {"core/reports.jsonl", "core/alarms.jsonl"}) {
    if (truncate(file(name).c_str(), 0) != 0) continue;  // not there yet
  }
}
