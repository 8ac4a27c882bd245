#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "agent/VelmoraAgent.h"
#include "host/HFileLog.h"

namespace {

// A descriptor 0, 1 or 2 left closed would be taken by the first file the
// agent opens, and alarms and the summary would land in its log.
void open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    int null_fd = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null_fd >= 0 && null_fd != fd) {
      ::dup2(null_fd, fd);
      ::close(null_fd);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  open_standard_descriptors();
  // Static, so that nothing of the agent is destroyed under the plug-in's
  // threads; they never stop, so the process leaves with _exit().
  static VelmoraAgent agent;
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  int code = agent.run(args);
  // Lines that a batch of frames gathered must not stay behind.
  HFileLog::flush_all();
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(code);
}
