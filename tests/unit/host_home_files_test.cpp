// The core's files on Linux: a write cut short and a link in the core's
// folder (neither can be made this way on Windows).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/HDataCenter.h"
#include "host/HHomeDir.h"
#include "tests/support/CoreFiles.h"

namespace {

using HostCoreTest = tidewell_test::CoreFilesTest;
using Block = std::vector<ARPSpoofingReport_Local>;

// A full disk left half a block in reports.jsonl, the next block glued to
// it, and the core said it had taken the block. A file size limit cuts the
// write short the way a full disk does.
TEST_F(HostCoreTest, RegressionShortWriteLeavesNoTornLineAndRefusesTheBlock) {
  Block block = {bind_record()};
  ASSERT_EQ(0, deliver(block));
  std::string before = tidewell_test::read_file(home.file("core/reports.jsonl"));
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limit = saved;
  limit.rlim_cur = before.size() + 10;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  int refused = deliver(block);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(-1, refused);
  EXPECT_EQ(before, tidewell_test::read_file(home.file("core/reports.jsonl")));
  ASSERT_EQ(0, deliver(block));
  for (const std::string& line : reports()) EXPECT_NO_THROW(nlohmann::json::parse(line)) << line;
  std::string first;
  EXPECT_EQ(1u, HHomeDir::failures(first));
  EXPECT_EQ(home.file("core/reports.jsonl") + ": File too large", first);
}

// Root appended the core's lines to whatever file a link in the core's
// folder pointed to.
TEST_F(HostCoreTest, RegressionLinkInTheCoreFolderIsNotWrittenThrough) {
  tidewell_test::write_file(home.file("victim"), "precious");
  ::mkdir(home.file("core").c_str(), 0700);
  ASSERT_EQ(0, ::symlink(home.file("victim").c_str(), home.file("core/reports.jsonl").c_str()));
  Block block = {bind_record()};
  EXPECT_EQ(-1, deliver(block));
  EXPECT_EQ("precious", tidewell_test::read_file(home.file("victim")));
}

}  // namespace
