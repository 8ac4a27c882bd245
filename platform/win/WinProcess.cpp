// Process start on Windows: CreateProcessW itself, or the launcher that a
// test or a replay has installed (the replay applies "arp -s" to its
// in-memory table instead).
#include "platform/WinProcess.h"

#include <atomic>
#include <mutex>

#include "platform/WinTime.h"
#include "platform/win/Native.h"

static_assert(sizeof(STARTUPINFOW) == 104, "the layout of STARTUPINFOW on 64-bit Windows");
static_assert(sizeof(PROCESS_INFORMATION) == 24, "the layout of PROCESS_INFORMATION on 64-bit Windows");

namespace {

struct LauncherSeam {
  std::mutex mtx;
  std::function<bool(const platform::ProcessLaunch&)> fn;
};

LauncherSeam& launcher_seam() {
  static LauncherSeam* seam = new LauncherSeam();
  return *seam;
}

std::function<bool(const platform::ProcessLaunch&)> current_launcher() {
  std::lock_guard<std::mutex> lock(launcher_seam().mtx);
  return launcher_seam().fn;
}

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
  std::function<bool(const platform::ProcessLaunch&)> launcher = current_launcher();
  if (launcher) {
    platform::ProcessLaunch request;
    if (application_name) request.application = application_name;
    if (command_line) request.command_line = command_line;
    if (current_directory) request.current_directory = current_directory;
    request.hidden = (startup_info->dwFlags & STARTF_USESHOWWINDOW) && startup_info->wShowWindow == SW_HIDE;
    return launch(request, process_information, launcher);
  }
  return platform::native::create_process(application_name, command_line, inherit_handles, creation_flags,
                                          environment, current_directory, startup_info, process_information);
}

BOOL CloseHandle(HANDLE handle) {
  if (!handle) return fail(ERROR_INVALID_HANDLE);
  return platform::native::close_handle(handle);
}

namespace platform {

void set_process_launcher(std::function<bool(const ProcessLaunch&)> launcher) {
  std::lock_guard<std::mutex> lock(launcher_seam().mtx);
  launcher_seam().fn = std::move(launcher);
}

std::vector<std::wstring> split_command_line(const std::wstring& command_line) {
  std::vector<std::wstring> words;
  std::wstring word;
  bool in_word = false;
  bool quoted = false;
  size_t i = 0;
  while (i < command_line.size()) {
    wchar_t c = command_line[i];
    if (c == L'\\') {
      // Backslashes are literal unless they precede a quote: 2n of them give
      // n and the quote delimits, 2n+1 give n and a literal quote.
      size_t run = 0;
      while (i < command_line.size() && command_line[i] == L'\\') ++run, ++i;
      in_word = true;
      if (i < command_line.size() && command_line[i] == L'"') {
        word.append(run / 2, L'\\');
        if (run % 2) {
          word += L'"';
          ++i;
        }
      } else {
        word.append(run, L'\\');
      }
      continue;
    }
    if (c == L'"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == L' ' || c == L'\t')) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
    ++i;
  }
  if (in_word) words.push_back(word);
  return words;
}

}  // namespace platform
