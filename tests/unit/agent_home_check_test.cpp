// The agent refuses to start with a config it cannot read or a home it
// cannot write, with one message naming what is wrong, instead of running
// on and losing its logs, reports and archive in silence.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/agent_pcap.h"
#include "tests/support/agent_process.h"

namespace {

const std::string AGENT = std::string(TIDEWELL_BIN_DIR) + "/velmora-agent";
const std::string CONFIG = std::string(TIDEWELL_SOURCE_DIR) + "/examples/arp-mode1.json";
const std::string PCAP = std::string(TIDEWELL_SOURCE_DIR) + "/examples/arp-demo.pcap";
constexpr double RUN_LIMIT_S = 30;

class AgentHomeCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat info {};
    if (::stat(AGENT.c_str(), &info) != 0) GTEST_SKIP() << AGENT << " is not built";
  }

  int run(const std::string& config, const std::string& home) {
    std::vector<std::string> argv = {AGENT, "--config", config, "--home", home, "--replay", PCAP,
                                     "--speed", "max", "--linger", "0.2"};
    return agent_test::run_child(argv, dir.file("out.txt"), dir.file("err.txt"), RUN_LIMIT_S);
  }
  std::string err() { return agent_test::read_file(dir.file("err.txt")); }

  agent_test::ScratchDir dir{"agent-home-check"};
};

TEST_F(AgentHomeCheck, ConfigThatIsAFolderIsRefusedByName) {
  EXPECT_EQ(2, run(dir.path(), dir.file("home")));
  EXPECT_NE(std::string::npos, err().find(dir.path() + ": cannot read: is a folder")) << err();
  EXPECT_TRUE(agent_test::read_file(dir.file("home/log/Velmora.log")).empty()) << "refused before it ran";
}

TEST_F(AgentHomeCheck, HomeWhoseLogFolderIsAFileIsRefused) {
  ASSERT_EQ(0, ::mkdir(dir.file("home").c_str(), 0755));
  agent_test::write_file(dir.file("home/log"), "not a folder");
  EXPECT_EQ(2, run(CONFIG, dir.file("home")));
  EXPECT_NE(std::string::npos, err().find("refused: " + dir.file("home") + "/log is not a folder")) << err();
}

TEST_F(AgentHomeCheck, HomeThatIsAFileIsRefused) {
  agent_test::write_file(dir.file("plain"), "x");
  EXPECT_EQ(2, run(CONFIG, dir.file("plain")));
  EXPECT_NE(std::string::npos, err().find("refused: " + dir.file("plain") + " is not a folder")) << err();
}

// Root writes into any folder whatever its mode; the lab test covers a
// read-only file system for root.
TEST_F(AgentHomeCheck, HomeWithoutWritePermissionIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  ASSERT_EQ(0, ::mkdir(dir.file("home").c_str(), 0755));
  ASSERT_EQ(0, ::mkdir(dir.file("home/core").c_str(), 0555));
  EXPECT_EQ(2, run(CONFIG, dir.file("home")));
  EXPECT_NE(std::string::npos, err().find(dir.file("home") + "/core: Permission denied")) << err();
  ::chmod(dir.file("home/core").c_str(), 0755);
}

TEST_F(AgentHomeCheck, WritableHomeRunsAndKeepsNoTraceOfTheCheck) {
  EXPECT_EQ(0, run(CONFIG, dir.file("home"))) << err();
  for (const char* folder : {"", "/log", "/core", "/arc_file"}) {
    struct stat info {};
    EXPECT_NE(0, ::stat((dir.file("home") + folder + "/.velmora-write-check").c_str(), &info)) << folder;
  }
  EXPECT_TRUE(agent_test::read_file(dir.file("home/log/Velmora.log")).find("velmora-agent stopped") !=
              std::string::npos);
}

}  // namespace
