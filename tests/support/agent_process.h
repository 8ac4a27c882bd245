#pragma once
// Runs the built agent as a child process with its output in files, always
// within a time limit, and the fixture of the tests that run it.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TestHome.h"

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

const std::string AGENT = std::string(TIDEWELL_BIN_DIR) + "/velmora-agent";
const std::string EXAMPLES = std::string(TIDEWELL_SOURCE_DIR) + "/examples/";
constexpr double RUN_LIMIT_S = 30;

// A test of the built agent (skipped when it is not built), with a scratch
// folder for the agent's output and homes.
class AgentRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tidewell_test::file_exists(AGENT)) GTEST_SKIP() << AGENT << " is not built";
  }
  // Runs the agent to its end, or kills it after `limit_s`; returns the exit code.
  int run(const std::vector<std::string>& args, double limit_s = RUN_LIMIT_S) {
    std::vector<std::string> argv = {AGENT};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_child(argv, dir.file("out.txt"), dir.file("err.txt"), limit_s);
  }
  // The arguments of a replay of `pcap` at full speed.
  static std::vector<std::string> replay_args(const std::string& config, const std::string& pcap,
                                              const std::string& run_home, const char* linger = "0.3") {
    return {"--config", config, "--home", run_home, "--replay", pcap, "--speed", "max", "--linger", linger};
  }
  std::string out() const { return tidewell_test::read_file(dir.file("out.txt")); }
  std::string err() const { return tidewell_test::read_file(dir.file("err.txt")); }

  tidewell_test::TempDir dir{"agent-run"};
};

}  // namespace agent_test
