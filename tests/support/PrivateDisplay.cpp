#include "tests/support/PrivateDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace dhcpguard_test {

namespace {

// Xvfb picks a free display and writes its number to fd 3. A watcher shell
// stops it once this process is gone (or when it loses its last client).
// Without Xvfb the pipe closes with no number.
bool launch_xvfb() {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::string parent = std::to_string(getpid());
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    dup2(fds[1], 3);
    if (fds[0] != 3) close(fds[0]);
    if (fds[1] != 3) close(fds[1]);
    std::string script = "Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 -terminate >/dev/null 2>&1 & x=$!; "
                         "exec 3>&-; while kill -0 " + parent + " 2>/dev/null && kill -0 $x 2>/dev/null; "
                         "do sleep 0.2; done; kill $x 2>/dev/null";
    execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  struct pollfd pfd = {fds[0], POLLIN, 0};
  for (int waited = 0; waited < 10000 && number.find('\n') == std::string::npos;) {
    int ready = poll(&pfd, 1, 100);
    waited += 100;
    if (ready <= 0) continue;
    char buf[16];
    ssize_t n = read(fds[0], buf, sizeof(buf));
    if (n <= 0) break;
    number.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (number.empty() || number[0] < '0' || number[0] > '9') return false;
  std::string display = ":" + number.substr(0, number.find('\n'));
  setenv("DISPLAY", display.c_str(), 1);
  return true;
}

}  // namespace

bool start_private_display() {
  static const bool started = [] {
    setenv("NO_AT_BRIDGE", "1", 1);
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return true;
    return launch_xvfb();
  }();
  return started;
}

}  // namespace dhcpguard_test
