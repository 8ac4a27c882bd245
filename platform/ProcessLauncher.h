#pragma once
// The part of CreateProcessW that is the same on every system: the launcher
// that a test or a replay installs, and the request that it is handed.
#include <functional>

#include "platform/WinProcess.h"

namespace platform {

// The installed launcher; empty while processes really start.
std::function<bool(const ProcessLaunch&)> current_process_launcher();

// What a CreateProcessW call asks for, as a launcher sees it.
ProcessLaunch launch_request(LPCWSTR application_name, LPCWSTR command_line, LPCWSTR current_directory,
                             const STARTUPINFOW& startup_info);

}  // namespace platform
