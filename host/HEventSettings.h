#pragma once
// Where the agent's events go besides the core's files: the `agent`
// section's syslog, alarm_command and alarm_command_timeout_ms.
#include <cstdint>
#include <string>

struct HEventSettings {
  // Every accepted report and every alarm also goes to the system log.
  bool b_syslog = true;
  // A program run for each alarm with its JSON line on standard input
  // ("": none).
  std::string str_alarm_command;
  uint32_t ui_alarm_command_timeout_ms = 10000;
};
