#include "tests/support/agent_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace agent_test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& out_file,
                           const std::string& err_file) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) i_pid = pid;
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
  if (i_pid > 0) wait(0);
}

void ChildProcess::signal(int number) {
  if (i_pid > 0) ::kill(i_pid, number);
}

int ChildProcess::wait(double limit_s) {
  if (i_pid <= 0) return -1;
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit_s);
  int status = 0;
  pid_t done = 0;
  while ((done = ::waitpid(i_pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  bool exited = done == i_pid;
  if (!exited) {  // outlived the limit
    ::kill(i_pid, SIGKILL);
    ::waitpid(i_pid, &status, 0);
  }
  i_pid = -1;
  if (!exited) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

int run_child(const std::vector<std::string>& argv, const std::string& out_file, const std::string& err_file,
              double limit_s) {
  ChildProcess child(argv, out_file, err_file);
  return child.wait(limit_s);
}

}  // namespace agent_test
