// The audit report store: delivery order, the queue and its archive.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "frame/HAuditReportMgr.h"
#include "host/HArchiveFile.h"
#include "host/HDataCenter.h"
#include "tests/support/frame_support.h"

using frame_test::Block;

namespace {

const char kArc[] = "arc_file\\his_arp_attack";
constexpr int kVersion = 173;
constexpr int64_t kNow = 1700000000;

class AuditStore : public ::testing::Test {
 protected:
  void init(HAuditReportMgr& store, int max_record = 300) {
    store.init(L"NetSecurity", L"AntiARPSpoofing", HString(kArc), kVersion, max_record);
  }
  std::string arc_path() {
    HArchiveFile file;
    file.set_name(HString(kArc));
    return file.path();
  }
  frame_test::ArchiveWriter archive() { return frame_test::ArchiveWriter(arc_path(), kVersion); }
  // The queue as a fresh store reads it back from the archive.
  std::vector<Block> reload() {
    HAuditReportMgr store;
    init(store);
    frame_test::CoreRecorder drain;
    Block none;
    store.report(&none);
    std::vector<Block> got = drain.blocks();
    got.pop_back();  // the probe block itself
    return got;
  }

  frame_test::TempHome home;
  frame_test::FakeClock clock{kNow};
};

Block block(const std::string& mac, int32_t elapsed = 0) {
  return Block{frame_test::make_record("p1", "AntiARP_RP_ARP", mac, elapsed)};
}

std::string mac_of(const Block& b) {
  if (b.empty()) return "<empty>";
  return frame_test::narrow(b.at(0).mapDesc.at(HString("mac")));
}

std::vector<std::string> macs(const std::vector<Block>& blocks) {
  std::vector<std::string> out;
  for (const Block& b : blocks) out.push_back(mac_of(b));
  return out;
}

// A kill after the core wrote the queue but before the archive was
// rewritten offers the same blocks again on the next start, with the ids
// the archive kept: the core, restarted too, writes each block once.
TEST_F(AuditStore, RegressionBlocksOfferedAgainAfterAKillAreWrittenOnce) {
  frame_test::CoreRecorder core;
  core.accept_all(false);
  HAuditReportMgr store;
  init(store);
  Block b1 = block("02:00:00:00:00:01");
  Block b2 = block("02:00:00:00:00:02");
  store.report(&b1);
  store.report(&b2);
  std::string before_rewrite = frame_test::read_file(arc_path());
  core.accept_all(true);
  store.report(nullptr);
  ASSERT_EQ(2u, home.reports().size());

  tidewell_test::write_file(arc_path(), before_rewrite);
  HDataCenter::set_core_dir(HString(home.file("core")));
  HAuditReportMgr restarted;
  init(restarted);
  ASSERT_EQ(2u, restarted.queued());
  Block b3 = block("02:00:00:00:00:03");
  restarted.report(&b3);
  EXPECT_EQ(0u, restarted.queued());
  std::vector<std::string> lines = home.reports();
  ASSERT_EQ(3u, lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NE(std::string::npos, lines[i].find("02:00:00:00:00:0" + std::to_string(i + 1))) << lines[i];
  }
  char id[17];
  std::snprintf(id, sizeof(id), "%016llx", static_cast<unsigned long long>(b1.at(0).ull_block_id));
  EXPECT_NE(std::string::npos, lines[0].find(std::string(",\"block\":\"") + id + "\"}")) << lines[0];
}

TEST_F(AuditStore, QueuedReportKeepsItsStampAndAgesAfreshEachAttempt) {
  // Seconds since 1970 past 2^32 and past 2^31: only the low 32 bits count.
  const int64_t start = 0x180000005LL;
  clock.set(start);
  frame_test::CoreRecorder core;
  core.accept_all(false);
  HAuditReportMgr store;
  init(store);
  Block b = block("02:00:00:00:00:01", 12345);
  store.report(&b);
  // The caller's vector is stamped when it is queued.
  EXPECT_EQ(static_cast<int32_t>(0x80000005u), b.at(0).iElapsed);

  clock.set(start + 10);
  store.report(nullptr);
  clock.set(start + 25);
  core.accept_all(true);
  store.report(nullptr);
  std::vector<Block> got = core.blocks();
  ASSERT_EQ(3u, got.size());
  EXPECT_EQ(12345, got[0].at(0).iElapsed);  // a new report goes as given
  EXPECT_EQ(10, got[1].at(0).iElapsed);
  EXPECT_EQ(25, got[2].at(0).iElapsed);
}

// A failed archive write leaves the queue in memory as it was; the report
// is still delivered later.
TEST_F(AuditStore, ArchiveThatCannotBeWrittenKeepsQueueInMemory) {
  std::filesystem::create_directories(arc_path());  // a folder where the file belongs
  frame_test::CoreRecorder core;
  core.accept_all(false);
  HAuditReportMgr store;
  init(store);
  Block b = block("02:00:00:00:00:01");
  store.report(&b);
  EXPECT_EQ(1u, store.queued());
  EXPECT_EQ(-1, store.write_arc());
  core.accept_all(true);
  store.report(nullptr);
  EXPECT_EQ((std::vector<std::string>{"02:00:00:00:00:01", "02:00:00:00:00:01"}), macs(core.blocks()));
  EXPECT_EQ(0u, store.queued());
}

// Counts the file cannot back: whole entries up to the first failed read are
// kept, nothing is allocated for a count, and another version is no queue.
TEST_F(AuditStore, ImplausibleCountsKeepOnlyWholeEntries) {
  const ARPSpoofingReport_Local r1 = block("02:00:00:00:00:01")[0], r2 = block("02:00:00:00:00:02")[0];
  struct Case {
    const char* what;
    frame_test::ArchiveWriter writer;
    std::vector<std::string> kept;
  };
  Case cases[] = {
      {"huge entry count", archive().value(0x7fffffff).value(1).record(r1), {}},
      {"huge record count", archive().value(3).value(1).record(r1).value(4000000).record(r2).value(0),
       {"02:00:00:00:00:01"}},
      {"entries missing", archive().value(3).value(1).record(r1).value(0), {"02:00:00:00:00:01", "<empty>"}},
      {"other version", frame_test::ArchiveWriter(arc_path(), 172).queue({block("02:00:00:00:00:01")}), {}},
  };
  for (Case& c : cases) {
    ASSERT_EQ(0, c.writer.commit()) << c.what;
    EXPECT_EQ(c.kept, macs(reload())) << c.what;
  }
}

// An archive with more entries than the bound (a damaged count, or a bound
// lowered since it was written) keeps its newest entries, in order.
TEST_F(AuditStore, EntriesBeyondTheBoundAreDroppedOldestFirst) {
  std::vector<Block> entries;
  for (int i = 0; i < 305; ++i) entries.push_back(block("m" + std::to_string(i)));
  ASSERT_EQ(0, archive().queue(entries).commit());
  std::vector<std::string> got = macs(reload());
  ASSERT_EQ(300u, got.size());
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ("m" + std::to_string(i + 5), got[i]);
}

// The store keeps every queued entry in its archive form and rewrites the
// archive from those: after refusals, drops of the oldest, deliveries, empty
// entries (a repeated one filtered) and a reload, the archive holds exactly
// the queue, byte for byte.
TEST_F(AuditStore, ArchiveIsTheQueueAfterEveryKindOfChange) {
  auto expected_archive = [this](const std::vector<Block>& queue) {
    HArchiveFile file;
    file.set_name(HString("arc_file/expected"));
    EXPECT_EQ(0, frame_test::ArchiveWriter(file.path(), kVersion).queue(queue).commit());
    return frame_test::read_file(file.path());
  };
  auto stamped = [](const std::string& mac, int64_t at, size_t records = 1) {
    return Block(records, frame_test::make_record("p1", "AntiARP_RP_ARP", mac, static_cast<int32_t>(at)));
  };
  // With the block id that the store gave the report.
  auto named = [](Block expected, const Block& reported) {
    for (ARPSpoofingReport_Local& r : expected) r.ull_block_id = reported.at(0).ull_block_id;
    return expected;
  };
  frame_test::CoreRecorder core;
  HAuditReportMgr store;
  init(store, 4);
  core.accept_all(false);
  std::vector<Block> queue;

  // Refused reports fill the queue; the fifth drops the oldest.
  for (int i = 0; i < 5; ++i) {
    std::string mac = "02:77:66:00:00:0" + std::to_string(i + 1);
    size_t records = static_cast<size_t>(i % 3 + 1);
    clock.set(kNow + i);
    Block b = stamped(mac, 0, records);
    store.report(&b);
    queue.push_back(named(stamped(mac, kNow + i, records), b));
    if (queue.size() > 4) queue.erase(queue.begin());
    ASSERT_EQ(expected_archive(queue), frame_test::read_file(arc_path())) << "after report " << i;
  }
  // An empty entry is queued once, even across a restart.
  Block empty;
  store.report(&empty);
  queue.erase(queue.begin());
  queue.push_back(Block());
  ASSERT_EQ(expected_archive(queue), frame_test::read_file(arc_path()));
  HAuditReportMgr reloaded;
  init(reloaded, 4);
  ASSERT_EQ(queue.size(), reloaded.queued());
  reloaded.report(&empty);
  ASSERT_EQ(expected_archive(queue), frame_test::read_file(arc_path()));

  // The core takes the two oldest, then refuses: the new one waits behind,
  // and an empty entry after it is kept.
  int taken = 0;
  core.decide([&taken](const Block&) { return ++taken <= 2; });
  clock.set(kNow + 100);
  Block late = stamped("02:77:66:00:00:06", 0);
  reloaded.report(&late);
  reloaded.report(&empty);
  queue.erase(queue.begin(), queue.begin() + 2);
  queue.push_back(named(stamped("02:77:66:00:00:06", kNow + 100), late));
  queue.push_back(Block());
  EXPECT_EQ(expected_archive(queue), frame_test::read_file(arc_path()));

  // Everything delivered: an archive with no entry.
  core.accept_all(true);
  reloaded.report(nullptr);
  EXPECT_EQ(0u, reloaded.queued());
  EXPECT_EQ(expected_archive({}), frame_test::read_file(arc_path()));
}

}  // namespace
