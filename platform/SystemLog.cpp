// The system log over syslog(3), opened with LOG_NDELAY so that the socket
// to /dev/log is made at once rather than at the first line.
#include "platform/SystemLog.h"

#include <syslog.h>
#include <unistd.h>

#include <climits>
#include <mutex>

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

void open_system_log(const char* tag) { ::openlog(tag, LOG_PID | LOG_NDELAY, LOG_DAEMON); }

void system_log_warning(const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(sink_seam().mtx);
    if (sink_seam().fn) {
      sink_seam().fn(line);
      return;
    }
  }
  ::syslog(LOG_DAEMON | LOG_WARNING, "%s", line.c_str());
}

std::string machine_name() {
  char name[HOST_NAME_MAX + 1] = {0};
  if (::gethostname(name, sizeof(name) - 1) != 0) return std::string();
  return name;
}

void set_system_log_sink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(sink_seam().mtx);
  sink_seam().fn = std::move(sink);
}

}  // namespace platform
