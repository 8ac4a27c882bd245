// The launcher seam of CreateProcessW and the Windows rules for splitting a
// command line: the same on every system.
#include "platform/ProcessLauncher.h"

#include <mutex>

namespace {

struct LauncherSeam {
  std::mutex mtx;
  std::function<bool(const platform::ProcessLaunch&)> fn;
  bool b_hang = false;
};

LauncherSeam& launcher_seam() {
  static LauncherSeam* seam = new LauncherSeam();
  return *seam;
}

}  // namespace

namespace platform {

std::function<bool(const ProcessLaunch&)> current_process_launcher() {
  std::lock_guard<std::mutex> lock(launcher_seam().mtx);
  return launcher_seam().fn;
}

ProcessLaunch launch_request(LPCWSTR application_name, LPCWSTR command_line, LPCWSTR current_directory,
                             const STARTUPINFOW& startup_info) {
  ProcessLaunch request;
  if (application_name) request.application = application_name;
  if (command_line) request.command_line = command_line;
  if (current_directory) request.current_directory = current_directory;
  request.hidden = (startup_info.dwFlags & STARTF_USESHOWWINDOW) && startup_info.wShowWindow == SW_HIDE;
  return request;
}

void set_process_launcher(std::function<bool(const ProcessLaunch&)> launcher) {
  std::lock_guard<std::mutex> lock(launcher_seam().mtx);
  launcher_seam().fn = std::move(launcher);
}

void set_stand_ins_hang(bool hang) {
  std::lock_guard<std::mutex> lock(launcher_seam().mtx);
  launcher_seam().b_hang = hang;
}

bool stand_ins_hang() {
  std::lock_guard<std::mutex> lock(launcher_seam().mtx);
  return launcher_seam().b_hang;
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
