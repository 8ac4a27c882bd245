// The system log over syslog(3), opened with LOG_NDELAY so that the socket
// to /dev/log is made at once rather than at the first line.
#include "platform/SystemLog.h"

#include <syslog.h>
#include <unistd.h>

#include <climits>

namespace platform {

void open_system_log(const char* tag) { ::openlog(tag, LOG_PID | LOG_NDELAY, LOG_DAEMON); }

void system_log_warning(const std::string& line) {
  if (system_log_to_sink(line)) return;
  ::syslog(LOG_DAEMON | LOG_WARNING, "%s", line.c_str());
}

std::string machine_name() {
  char name[HOST_NAME_MAX + 1] = {0};
  if (::gethostname(name, sizeof(name) - 1) != 0) return std::string();
  return name;
}

}  // namespace platform
