// Process start on Windows: CreateProcessW itself, or the launcher that a
// test or a replay has installed (the replay applies "arp -s" to its
// in-memory table instead).
#include "platform/WinProcess.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

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

// A process that a launcher stood in for: two events in place of its two
// handles, signalled when it counts as ended.
struct StandIn {
  HANDLE h_process;
  HANDLE h_thread;
  DWORD dw_exit_code;
};

// Stand-ins by either handle; a closed handle is forgotten at once, as
// Windows may hand its value out again.
class StandIns {
 public:
  void add(const std::shared_ptr<StandIn>& stand_in) {
    std::lock_guard<std::mutex> lock(mtx);
    map_by_handle[stand_in->h_process] = stand_in;
    map_by_handle[stand_in->h_thread] = stand_in;
  }
  void remove(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mtx);
    auto found = map_by_handle.find(handle);
    if (found == map_by_handle.end()) return;
    if (found->second->h_process == handle) found->second->h_process = nullptr;
    if (found->second->h_thread == handle) found->second->h_thread = nullptr;
    map_by_handle.erase(found);
  }
  // False when `handle` is no stand-in's; else `result` is TerminateProcess's.
  bool terminate(HANDLE handle, DWORD exit_code, BOOL& result) {
    std::lock_guard<std::mutex> lock(mtx);
    auto found = map_by_handle.find(handle);
    if (found == map_by_handle.end()) return false;
    StandIn& stand_in = *found->second;
    if (stand_in.dw_exit_code != STILL_ACTIVE) {
      result = fail(ERROR_ACCESS_DENIED);
      return true;
    }
    stand_in.dw_exit_code = exit_code;
    if (stand_in.h_process) platform::native::set_event(stand_in.h_process);
    if (stand_in.h_thread) platform::native::set_event(stand_in.h_thread);
    result = TRUE;
    return true;
  }
  // False when `handle` is no stand-in's.
  bool exit_code(HANDLE handle, DWORD& code) {
    std::lock_guard<std::mutex> lock(mtx);
    auto found = map_by_handle.find(handle);
    if (found == map_by_handle.end()) return false;
    code = found->second->dw_exit_code;
    return true;
  }

 private:
  std::mutex mtx;
  std::map<HANDLE, std::shared_ptr<StandIn>> map_by_handle;
};

StandIns& stand_ins() {
  static StandIns* table = new StandIns();
  return *table;
}

// What a launcher started has no process behind it; its handles are real
// handles all the same, for the caller to wait on and close.
BOOL launch(const platform::ProcessLaunch& request, PROCESS_INFORMATION* information,
            const std::function<bool(const platform::ProcessLaunch&)>& launcher) {
  if (!launcher(request)) return fail(ERROR_FILE_NOT_FOUND);
  bool ended = !platform::stand_ins_hang();
  auto stand_in = std::make_shared<StandIn>();
  stand_in->h_process = platform::native::create_stand_in_handle(ended);
  stand_in->h_thread = platform::native::create_stand_in_handle(ended);
  stand_in->dw_exit_code = ended ? 0 : STILL_ACTIVE;
  stand_ins().add(stand_in);
  information->hProcess = stand_in->h_process;
  information->hThread = stand_in->h_thread;
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
  stand_ins().remove(handle);
  return platform::native::close_handle(handle);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return platform::native::wait_for_single_object(handle, milliseconds);
}

BOOL TerminateProcess(HANDLE process, UINT exit_code) {
  BOOL result = FALSE;
  if (stand_ins().terminate(process, exit_code, result)) return result;
  return platform::native::terminate_process(process, exit_code);
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code) {
  if (!exit_code) return fail(ERROR_INVALID_PARAMETER);
  if (stand_ins().exit_code(process, *exit_code)) return TRUE;
  uint32_t code = 0;
  if (!platform::native::get_exit_code_process(process, &code)) return FALSE;
  *exit_code = code;
  return TRUE;
}
