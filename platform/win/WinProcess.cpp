// Process start on Windows: CreateProcessW itself, or the launcher that a
// test or a replay has installed (the replay applies "arp -s" to its
// in-memory table instead).
#include "platform/WinProcess.h"

#include <atomic>

#include "platform/ProcessLauncher.h"
#include "platform/WinTime.h"
#include "platform/win/Native.h"

static_assert(sizeof(STARTUPINFOW) == 104, "the layout of STARTUPINFOW on 64-bit Windows");
static_assert(sizeof(PROCESS_INFORMATION) == 24, "the layout of PROCESS_INFORMATION on 64-bit Windows");

namespace {

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// Ids of the processes that a launcher stood in for, far above real ones.
std::atomic<DWORD> g_next_stand_in_id{0x40000000};

// What a launcher started has no process behind it; its handles are real
// handles all the same, for the caller to close.
BOOL launch(const platform::ProcessLaunch& request, PROCESS_INFORMATION* information,
            const std::function<bool(const platform::ProcessLaunch&)>& launcher) {
  if (!launcher(request)) return fail(ERROR_FILE_NOT_FOUND);
  information->hProcess = platform::native::create_stand_in_handle();
  information->hThread = platform::native::create_stand_in_handle();
  information->dwProcessId = g_next_stand_in_id.fetch_add(1);
  information->dwThreadId = information->dwProcessId;
  return TRUE;
}

}  // namespace

BOOL CreateProcessW(LPCWSTR application_name, LPWSTR command_line, SECURITY_ATTRIBUTES* /*process_attributes*/,
                    SECURITY_ATTRIBUTES* /*thread_attributes*/, BOOL inherit_handles, DWORD creation_flags,
                    void* environment, LPCWSTR current_directory, STARTUPINFOW* startup_info,
                    PROCESS_INFORMATION* process_information) {
  if (!startup_info || !process_information) return fail(ERROR_INVALID_PARAMETER);
  if (!command_line && !application_name) return fail(ERROR_INVALID_PARAMETER);
  std::function<bool(const platform::ProcessLaunch&)> launcher = platform::current_process_launcher();
  if (launcher) {
    platform::ProcessLaunch request =
        platform::launch_request(application_name, command_line, current_directory, *startup_info);
    return launch(request, process_information, launcher);
  }
  return platform::native::create_process(application_name, command_line, inherit_handles, creation_flags,
                                          environment, current_directory, startup_info, process_information);
}

BOOL CloseHandle(HANDLE handle) {
  if (!handle) return fail(ERROR_INVALID_HANDLE);
  return platform::native::close_handle(handle);
}
