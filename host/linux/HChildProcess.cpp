// The child over posix_spawn: its standard input is the read end of a pipe
// that already holds the whole input and whose write end is closed, so the
// child reads it and then end of file.
#include "host/HChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/HFileUtil.h"

extern char** environ;

namespace {

std::string outcome_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status) == 0 ? "" : "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "ended with status " + std::to_string(status);
}

// The read end of a pipe that holds `input`, or -1.
int input_pipe(const std::string& input, std::string& error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return -1;
  }
  // The pipe holds 64 KiB unless the system says less: the input goes in
  // whole or the run is refused, never half.
  int capacity = ::fcntl(fds[1], F_GETPIPE_SZ);
  if (capacity > 0 && input.size() > static_cast<size_t>(capacity)) {
    error = "input of " + std::to_string(input.size()) + " bytes does not fit the pipe";
  } else if (HFileUtil::write_all(fds[1], input.data(), input.size()) != 0) {
    error = std::string("writing the input: ") + std::strerror(errno);
  }
  ::close(fds[1]);
  if (!error.empty()) {
    ::close(fds[0]);
    return -1;
  }
  return fds[0];
}

}  // namespace

HChildProcess::~HChildProcess() {
  if (l_pid != 0) kill_and_reap();
}

int HChildProcess::start(const std::string& program, const std::string& input, std::string& error) {
  if (input.size() > kMaxInput) {
    error = "input of " + std::to_string(input.size()) + " bytes is too long";
    return -1;
  }
  int in = input_pipe(input, error);
  if (in < 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // The agent blocks its signals for the main loop and ignores SIGPIPE:
  // the child starts with none blocked and SIGPIPE as it should be.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string path = program;
  char* argv[] = {&path[0], nullptr};
  pid_t pid = 0;
  int result = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(in);
  if (result != 0) {
    error = std::strerror(result);
    return -1;
  }
  l_pid = pid;
  return 0;
}

bool HChildProcess::poll(std::string& outcome) {
  if (l_pid == 0) return true;
  int status = 0;
  pid_t got;
  while ((got = ::waitpid(static_cast<pid_t>(l_pid), &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (got == 0) return false;
  outcome = got < 0 ? std::string("lost: ") + std::strerror(errno) : outcome_of(status);
  l_pid = 0;
  return true;
}

void HChildProcess::kill_and_reap() {
  if (l_pid == 0) return;
  ::kill(static_cast<pid_t>(l_pid), SIGKILL);
  int status = 0;
  while (::waitpid(static_cast<pid_t>(l_pid), &status, 0) < 0 && errno == EINTR) {
  }
  l_pid = 0;
}
