#pragma once
// Process start with the Windows contract, over posix_spawn.
//
// CreateProcessW(application, command_line, ...): with no application name,
// the command line's first word names the program, looked up in the current
// directory argument (when given) and then in PATH; a name with a "/" is
// used as it is. The command line is split into words as Windows splits
// it (blanks separate, double quotes group, \" is a quote). With
// STARTF_USESHOWWINDOW and SW_HIDE the program runs hidden: standard input,
// output and error go to /dev/null. The child is never left a zombie: a
// detached thread waits for it, whatever becomes of its handles. Returns
// TRUE and fills the process information (two handles, pid, thread id), or
// FALSE with the process information untouched and the last error set.
// Security attributes, handle inheritance, creation flags and environment
// blocks are not supported: pass null, FALSE, 0 and null.
//
// CloseHandle(handle): TRUE for an open handle of this module, else FALSE
// with ERROR_INVALID_HANDLE.
//
// WaitForSingleObject(handle, milliseconds), on either handle of a process:
// WAIT_OBJECT_0 once the process has ended (and has been reaped),
// WAIT_TIMEOUT when it still runs after `milliseconds` (INFINITE waits for
// ever), WAIT_FAILED with ERROR_INVALID_HANDLE for any other handle.
// TerminateProcess(process, exit_code): ends the process at once (SIGKILL);
// its exit code becomes `exit_code`. FALSE with ERROR_ACCESS_DENIED when it
// has ended already, with ERROR_INVALID_HANDLE for a handle that is none.
// GetExitCodeProcess(process, &code): STILL_ACTIVE while it runs, then its
// exit status (128 + the signal for a process a signal ended).
#include <functional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;
constexpr WORD SW_HIDE = 0;
constexpr WORD SW_SHOWNORMAL = 1;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;
typedef unsigned int UINT;

struct SECURITY_ATTRIBUTES;

struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

BOOL CreateProcessW(LPCWSTR application_name, LPWSTR command_line, SECURITY_ATTRIBUTES* process_attributes,
                    SECURITY_ATTRIBUTES* thread_attributes, BOOL inherit_handles, DWORD creation_flags,
                    void* environment, LPCWSTR current_directory, STARTUPINFOW* startup_info,
                    PROCESS_INFORMATION* process_information);
BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL TerminateProcess(HANDLE process, UINT exit_code);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code);

namespace platform {

// What CreateProcessW was asked to start.
struct ProcessLaunch {
  std::wstring application;  // empty when none was given
  std::wstring command_line;
  std::wstring current_directory;
  bool hidden = false;  // STARTF_USESHOWWINDOW with SW_HIDE
};

// Test and replay seam: while set, CreateProcessW hands every start to the
// launcher instead of starting a process; the launcher returns whether the
// start succeeded. Null restores real processes. The process a launcher
// stood in for has ended, with exit code 0, when CreateProcessW returns.
void set_process_launcher(std::function<bool(const ProcessLaunch&)> launcher);

// Test seam: while set, the processes that a launcher stands in for keep
// running until TerminateProcess ends them (a command that hangs).
void set_stand_ins_hang(bool hang);
bool stand_ins_hang();

// The command line split into words, as CreateProcessW splits it.
std::vector<std::wstring> split_command_line(const std::wstring& command_line);

}  // namespace platform
