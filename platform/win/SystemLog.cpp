// The system log on Windows: there is no syslog, so lines go only to a
// sink a test installs. The machine's name is the computer's NetBIOS name.
// This file sees <windows.h>: the header it implements declares no Windows
// names of its own.
#include <windows.h>

#include "platform/SystemLog.h"

namespace platform {

void open_system_log(const char* /*tag*/) {}

void system_log_warning(const std::string& line) { system_log_to_sink(line); }

std::string machine_name() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {0};
  DWORD size = sizeof(name);
  if (!GetComputerNameA(name, &size)) return std::string();
  return std::string(name, size);
}

}  // namespace platform
