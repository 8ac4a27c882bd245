// The system log on Windows: there is no syslog, so lines go only to a
// sink a test installs. The machine's name is the computer's NetBIOS name.
// This file sees <windows.h>: the header it implements declares no Windows
// names of its own.
#include <windows.h>

#include <mutex>

#include "platform/SystemLog.h"

namespace {

struct SinkSeam {
  std::mutex mtx;
  std::function<void(const std::string&)> fn;
};

SinkSeam& sink_seam() {
  static SinkSeam* seam = new SinkSeam();
  return *seam;
}

}  // namespace

namespace platform {

void open_system_log(const char* /*tag*/) {}

void system_log_warning(const std::string& line) {
  std::lock_guard<std::mutex> lock(sink_seam().mtx);
  if (sink_seam().fn) sink_seam().fn(line);
}

std::string machine_name() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {0};
  DWORD size = sizeof(name);
  if (!GetComputerNameA(name, &size)) return std::string();
  return std::string(name, size);
}

void set_system_log_sink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(sink_seam().mtx);
  sink_seam().fn = std::move(sink);
}

}  // namespace platform
