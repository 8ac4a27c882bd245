#include "platform/WinProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/ProcessLauncher.h"
#include "platform/Utf8.h"
#include "platform/WinTime.h"

extern char** environ;

namespace {

constexpr const char* kDefaultPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// What both handles of a process refer to. A real process is reaped by a
// thread of its own; `b_ended` is set under `mtx` before the pid is
// released, so that TerminateProcess, which signals under `mtx`, never
// reaches a pid the system has handed to another process.
struct ProcessState {
  std::mutex mtx;
  std::condition_variable cv_ended;
  pid_t pid = 0;  // 0: a process that a launcher stood in for
  bool b_ended = false;
  bool b_killed = false;
  DWORD dw_exit_code = STILL_ACTIVE;
  DWORD dw_kill_code = 0;
};

// Handles are numbers handed out here, never pointers: closing a stranger's
// value cannot touch memory.
class HandleTable {
 public:
  HANDLE open(const std::shared_ptr<ProcessState>& state) {
    std::lock_guard<std::mutex> lock(mtx);
    ui_next += 4;
    map_open.emplace(ui_next, state);
    return reinterpret_cast<HANDLE>(ui_next);
  }
  bool close(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mtx);
    return map_open.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
  }
  std::shared_ptr<ProcessState> process_of(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mtx);
    auto found = map_open.find(reinterpret_cast<uintptr_t>(handle));
    return found == map_open.end() ? nullptr : found->second;
  }
  DWORD next_fake_id() {
    std::lock_guard<std::mutex> lock(mtx);
    return ++dw_fake_id;
  }

 private:
  std::mutex mtx;
  std::map<uintptr_t, std::shared_ptr<ProcessState>> map_open;
  uintptr_t ui_next = 0x1000;
  DWORD dw_fake_id = 0x40000000;
};

HandleTable& handle_table() {
  static HandleTable table;
  return table;
}

bool is_executable_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program's path: as given when it holds a "/", else from the current
// directory argument, else from PATH; empty when not found.
std::string find_program(const std::string& name, const std::string& current_directory) {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return is_executable_file(name) ? name : std::string();
  if (!current_directory.empty() && is_executable_file(current_directory + "/" + name)) {
    return current_directory + "/" + name;
  }
  const char* env_path = std::getenv("PATH");
  std::string path = env_path && *env_path ? env_path : kDefaultPath;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (dir.empty()) dir = ".";
    if (is_executable_file(dir + "/" + name)) return dir + "/" + name;
    start = end + 1;
  }
  return std::string();
}

DWORD error_of_errno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

void mark_ended(ProcessState& state, DWORD exit_code) {
  state.b_ended = true;
  state.dw_exit_code = state.b_killed ? state.dw_kill_code : exit_code;
  state.cv_ended.notify_all();
}

DWORD exit_code_of(const siginfo_t& info) {
  if (info.si_code == CLD_EXITED) return static_cast<DWORD>(info.si_status);
  return 128 + static_cast<DWORD>(info.si_status);
}

// Waits for the child without reaping it, records its end, then reaps it.
void wait_for(std::shared_ptr<ProcessState> state) {
  siginfo_t info {};
  int ret = 0;
  while ((ret = ::waitid(P_PID, static_cast<id_t>(state->pid), &info, WEXITED | WNOWAIT)) < 0 && errno == EINTR) {
  }
  std::lock_guard<std::mutex> lock(state->mtx);
  mark_ended(*state, ret == 0 ? exit_code_of(info) : ERROR_GEN_FAILURE);
  int status = 0;
  while (::waitpid(state->pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// The child is waited for on a thread of its own, so that it never stays a
// zombie and nobody waits for it on the caller's thread.
void reap_later(const std::shared_ptr<ProcessState>& state) {
  try {
    std::thread(wait_for, state).detach();
  } catch (const std::system_error&) {
    wait_for(state);
  }
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// 0 and the child's pid, or a positive errno.
int spawn(const std::string& program, const std::vector<std::wstring>& words, const platform::ProcessLaunch& launch,
          pid_t& pid) {
  std::vector<std::string> args;
  for (const std::wstring& word : words) args.push_back(platform::wide_to_utf8(word));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);

  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  if (launch.hidden) {
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, 1, 2);
  }
  // Handles are not inherited: nothing of ours beyond the standard three.
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
  std::string directory = platform::wide_to_utf8(launch.current_directory);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&setup.actions, directory.c_str());
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&setup.attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&setup.attr, &defaults);
  posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  return posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attr, argv.data(), environ);
}

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

void fill_information(PROCESS_INFORMATION* info, const std::shared_ptr<ProcessState>& state, DWORD id) {
  info->hProcess = handle_table().open(state);
  info->hThread = handle_table().open(state);
  info->dwProcessId = id;
  info->dwThreadId = id;
}

std::shared_ptr<ProcessState> stand_in() {
  auto state = std::make_shared<ProcessState>();
  if (!platform::stand_ins_hang()) mark_ended(*state, 0);
  return state;
}

}  // namespace

BOOL CreateProcessW(LPCWSTR application_name, LPWSTR command_line, SECURITY_ATTRIBUTES* /*process_attributes*/,
                    SECURITY_ATTRIBUTES* /*thread_attributes*/, BOOL /*inherit_handles*/, DWORD /*creation_flags*/,
                    void* environment, LPCWSTR current_directory, STARTUPINFOW* startup_info,
                    PROCESS_INFORMATION* process_information) {
  if (!startup_info || !process_information || environment) return fail(ERROR_INVALID_PARAMETER);
  if (!command_line && !application_name) return fail(ERROR_INVALID_PARAMETER);
  platform::ProcessLaunch launch =
      platform::launch_request(application_name, command_line, current_directory, *startup_info);
  std::function<bool(const platform::ProcessLaunch&)> launcher = platform::current_process_launcher();
  if (launcher) {
    if (!launcher(launch)) return fail(ERROR_FILE_NOT_FOUND);
    fill_information(process_information, stand_in(), handle_table().next_fake_id());
    return TRUE;
  }

  std::vector<std::wstring> words = platform::split_command_line(launch.command_line);
  std::wstring name = !launch.application.empty() ? launch.application : (words.empty() ? L"" : words.front());
  if (words.empty()) words.push_back(name);
  std::string program = find_program(platform::wide_to_utf8(name), platform::wide_to_utf8(launch.current_directory));
  if (program.empty()) return fail(ERROR_FILE_NOT_FOUND);
  pid_t pid = 0;
  if (int error = spawn(program, words, launch, pid)) return fail(error_of_errno(error));
  auto state = std::make_shared<ProcessState>();
  state->pid = pid;
  fill_information(process_information, state, static_cast<DWORD>(pid));
  reap_later(state);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (!handle_table().close(handle)) return fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::shared_ptr<ProcessState> state = handle_table().process_of(handle);
  if (!state) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock<std::mutex> lock(state->mtx);
  auto ended = [&state] { return state->b_ended; };
  if (milliseconds == INFINITE) {
    state->cv_ended.wait(lock, ended);
  } else if (!state->cv_ended.wait_for(lock, std::chrono::milliseconds(milliseconds), ended)) {
    return WAIT_TIMEOUT;
  }
  return WAIT_OBJECT_0;
}

BOOL TerminateProcess(HANDLE process, UINT exit_code) {
  std::shared_ptr<ProcessState> state = handle_table().process_of(process);
  if (!state) return fail(ERROR_INVALID_HANDLE);
  std::lock_guard<std::mutex> lock(state->mtx);
  if (state->b_ended) return fail(ERROR_ACCESS_DENIED);
  state->b_killed = true;
  state->dw_kill_code = exit_code;
  if (state->pid == 0) {
    mark_ended(*state, exit_code);
    return TRUE;
  }
  // Not reaped yet (b_ended is false): the pid is still this child's.
  if (::kill(state->pid, SIGKILL) != 0) return fail(error_of_errno(errno));
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code) {
  std::shared_ptr<ProcessState> state = handle_table().process_of(process);
  if (!state || !exit_code) return fail(state ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
  std::lock_guard<std::mutex> lock(state->mtx);
  *exit_code = state->dw_exit_code;
  return TRUE;
}
