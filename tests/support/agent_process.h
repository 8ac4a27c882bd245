#pragma once
// Runs the built agent as a child process with its output in files, always
// within a time limit.
#include <string>
#include <sys/types.h>
#include <vector>

namespace agent_test {

class ChildProcess {
 public:
  // Starts `argv[0]` with the rest as arguments; standard output and error
  // go to the two files. pid() is -1 when it could not be started.
  ChildProcess(const std::vector<std::string>& argv, const std::string& out_file, const std::string& err_file);
  ~ChildProcess();  // kills a child that is still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return i_pid; }
  void signal(int number);
  // The exit code; -1 after killing a child that outlived the limit, -2
  // when it died of a signal.
  int wait(double limit_s);

 private:
  pid_t i_pid = -1;
};

// Starts, waits at most `limit_s` and returns the exit code as above.
int run_child(const std::vector<std::string>& argv, const std::string& out_file, const std::string& err_file,
              double limit_s);

}  // namespace agent_test
