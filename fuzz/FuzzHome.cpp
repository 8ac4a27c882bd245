#include "fuzz/FuzzHome.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "platform/WinUser.h"

namespace {

std::string g_remove_at_exit;

void remove_home() {
  std::error_code ignored;
  std::filesystem::remove_all(g_remove_at_exit, ignored);
}

std::string make_folder() {
  std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string templ = base + "/tidewell-fuzz-XXXXXX";
  if (!mkdtemp(&templ[0])) {
    std::perror("mkdtemp");
    std::abort();
  }
  return templ;
}

}  // namespace

FuzzHome& FuzzHome::ins() {
  static FuzzHome* home = new FuzzHome();
  return *home;
}

FuzzHome::FuzzHome() : str_path(make_folder()) {
  g_remove_at_exit = str_path;
  std::atexit(remove_home);
  HEnvironment::set_home(HString(str_path));
  HDataCenter::set_core_dir(HString(str_path + "/core"));
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

bool FuzzHome::write_file(const std::string& path, const void* bytes, size_t length) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(length));
  return static_cast<bool>(out);
}

std::string FuzzHome::read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
