// The agent refuses to start with a config it cannot read or a home it
// cannot write, with one message naming what is wrong, instead of running
// on and losing its logs, reports and archive in silence.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/agent_pcap.h"
#include "tests/support/agent_process.h"

namespace {

using agent_test::RUN_LIMIT_S;
const std::string CONFIG = agent_test::EXAMPLES + "arp-mode1.json";

class AgentHomeCheck : public agent_test::AgentRunTest {
 protected:
  // The probing demo replayed with `config` in `home`.
  static std::vector<std::string> args(const std::string& config, const std::string& home, const char* linger = "0.2") {
    return replay_args(config, agent_test::EXAMPLES + "arp-demo.pcap", home, linger);
  }
  // A home with its folders, as the agent makes them.
  std::string make_home(const std::string& name) {
    std::string home = dir.file(name);
    for (const char* folder : {"", "/log", "/core", "/arc_file"}) ::mkdir((home + folder).c_str(), 0700);
    return home;
  }
};

// Root writes into any folder whatever its mode; the lab test covers a
// read-only file system for root.
TEST_F(AgentHomeCheck, HomeWithoutWritePermissionIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  ASSERT_EQ(0, ::mkdir(dir.file("home").c_str(), 0755));
  ASSERT_EQ(0, ::mkdir(dir.file("home/core").c_str(), 0555));
  EXPECT_EQ(2, run(args(CONFIG, dir.file("home"))));
  EXPECT_NE(std::string::npos, err().find(dir.file("home") + "/core: Permission denied")) << err();
  ::chmod(dir.file("home/core").c_str(), 0755);
}

// Root followed links planted in a home that anyone may have made in /tmp
// and wrote over their targets.
TEST_F(AgentHomeCheck, RegressionLinksInTheHomeAreNotFollowed) {
  agent_test::write_file(dir.file("victim"), "precious");
  ASSERT_EQ(0, ::mkdir(dir.file("elsewhere").c_str(), 0700));
  int n = 0;
  for (std::string link : {".velmora-write-check", "log/.velmora-write-check", "arc_file/his_arp_attack.tmp",
                           "sent.pcap", "core/reports.jsonl", "log"}) {
    std::string home = make_home("home" + std::to_string(n++));
    if (link == "log") ::rmdir((home + "/log").c_str());
    ASSERT_EQ(0, ::symlink(dir.file(link == "log" ? "elsewhere" : "victim").c_str(), (home + "/" + link).c_str()));
    EXPECT_EQ(2, run(args(CONFIG, home))) << link;
    EXPECT_NE(std::string::npos, err().find(home + "/" + link + " is a symbolic link")) << err();
  }
  ASSERT_EQ(0, ::symlink(dir.file("elsewhere").c_str(), dir.file("linked-home").c_str()));
  EXPECT_EQ(2, run(args(CONFIG, dir.file("linked-home"))));
  EXPECT_NE(std::string::npos, err().find(dir.file("linked-home") + " is a symbolic link")) << err();
  EXPECT_EQ("precious", agent_test::read_file(dir.file("victim")));
  EXPECT_EQ(0, ::rmdir(dir.file("elsewhere").c_str())) << "something was written through a link to it";
}

TEST_F(AgentHomeCheck, RegressionHomeWritableByOthersIsRefused) {
  std::string home = make_home("home");
  ASSERT_EQ(0, ::chmod((home + "/core").c_str(), 0777));
  EXPECT_EQ(2, run(args(CONFIG, home)));
  EXPECT_NE(std::string::npos, err().find(home + "/core is writable by other users")) << err();
}

// Two agents on one home took turns at the same archive: half the queued
// reports were lost.
TEST_F(AgentHomeCheck, RegressionSecondAgentOnOneHomeIsRefused) {
  std::string home = make_home("home");
  std::vector<std::string> argv = args(CONFIG, home, "30");
  argv.insert(argv.begin(), agent_test::AGENT);
  agent_test::ChildProcess first(argv, dir.file("out1.txt"), dir.file("err1.txt"));
  std::string pid = std::to_string(first.pid());
  tidewell_test::eventually([&] { return agent_test::read_file(home + "/.velmora.lock") == pid + "\n"; }, 10000);
  EXPECT_EQ(2, run(args(CONFIG, home)));
  EXPECT_NE(std::string::npos, err().find("in use by another agent (process " + pid)) << err();
  first.signal(SIGTERM);
  EXPECT_EQ(0, first.wait(RUN_LIMIT_S));
}

// A FIFO held the open for ever, with SIGTERM blocked; a folder in place of
// the archive lost every queued report at exit. A file in place of the home
// is refused too.
TEST_F(AgentHomeCheck, RegressionSpecialFilesInTheHomeAreRefusedAtOnce) {
  int n = 0;
  for (std::string file : {"log/Velmora.log", "core/alarms.jsonl", "arc_file/his_arp_attack", "sent.pcap"}) {
    std::string home = make_home("home" + std::to_string(n++));
    ASSERT_EQ(0, ::mkfifo((home + "/" + file).c_str(), 0600));
    EXPECT_EQ(2, run(args(CONFIG, home), 1)) << file;
    EXPECT_NE(std::string::npos, err().find(home + "/" + file + " is not a regular file")) << err();
  }
  std::string home = make_home("folder-archive");
  ASSERT_EQ(0, ::mkdir((home + "/arc_file/his_arp_attack").c_str(), 0700));
  EXPECT_EQ(2, run(args(CONFIG, home)));
  EXPECT_NE(std::string::npos, err().find(home + "/arc_file/his_arp_attack is not a regular file")) << err();
  agent_test::write_file(dir.file("plain"), "x");
  EXPECT_EQ(2, run(args(CONFIG, dir.file("plain"))));
  EXPECT_NE(std::string::npos, err().find("refused: " + dir.file("plain") + " is not a folder")) << err();
}

// With standard output closed, the log took descriptor 1 and the alarms
// and the summary were written into it. The writable home runs and keeps no
// trace of its check.
TEST_F(AgentHomeCheck, RegressionClosedStandardOutputKeepsTheLogClean) {
  std::vector<std::string> argv = args(CONFIG, dir.file("home"));
  argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" >&-", agent_test::AGENT});
  EXPECT_EQ(0, agent_test::run_child(argv, dir.file("out.txt"), dir.file("err.txt"), RUN_LIMIT_S)) << err();
  std::string log = agent_test::read_file(dir.file("home/log/Velmora.log"));
  EXPECT_NE(std::string::npos, log.find("velmora-agent stopped"));
  EXPECT_EQ(std::string::npos, log.find("velmora-agent summary")) << log;
  for (const char* folder : {"", "/log", "/core", "/arc_file"}) {
    EXPECT_FALSE(tidewell_test::file_exists(dir.file("home") + folder + "/.velmora-write-check")) << folder;
  }
}

// A config without end was read until the memory ran out.
TEST_F(AgentHomeCheck, RegressionEndlessConfigIsRefused) {
  EXPECT_EQ(2, run(args("/dev/zero", dir.file("home"))));
  EXPECT_NE(std::string::npos, err().find("/dev/zero: cannot read: not a regular file")) << err();
  agent_test::write_file(dir.file("big.json"), std::string(4 * 1024 * 1024 + 1, ' '));
  EXPECT_EQ(2, run(args(dir.file("big.json"), dir.file("home"))));
  EXPECT_NE(std::string::npos, err().find("big.json: cannot read: larger than 4 MiB")) << err();
}

}  // namespace
