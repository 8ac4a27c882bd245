#pragma once
// The system's log and the machine's name, as the agent's event lines need
// them. On Linux the log is syslog (facility daemon, level warning, under a
// tag), so that journalctl -t TAG shows the lines; Windows has no syslog
// and takes them nowhere.
#include <functional>
#include <string>

namespace platform {

// Opens the system log under `tag` (kept by the call: a string literal).
void open_system_log(const char* tag);
// One line at level warning; it may wait for the log's socket, so it is
// called on a thread that nothing waits for.
void system_log_warning(const std::string& line);
// The machine's host name ("" when the system gives none).
std::string machine_name();

// Test seam: while set, lines go to the sink instead of the system log.
void set_system_log_sink(std::function<void(const std::string&)> sink);
// The line handed to the sink: false when none is set.
bool system_log_to_sink(const std::string& line);

}  // namespace platform
