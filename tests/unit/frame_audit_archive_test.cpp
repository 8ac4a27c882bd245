// The audit store keeps every queued entry in its archive form and rewrites
// the archive from those: after any run of refusals, drops of the oldest,
// deliveries, empty entries and reloads, the archive must hold exactly the
// queue, byte for byte as the records write themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/HAuditReportMgr.h"
#include "host/HArchiveFile.h"
#include "host/HEventCenter.h"
#include "tests/support/frame_support.h"

using frame_test::Block;

namespace {

const char kArc[] = "arc_file\\his_arp_attack";
constexpr int kVersion = 173;
constexpr int64_t kStart = 1700000000;

class AuditArchive : public ::testing::Test {
 protected:
  void SetUp() override { HEventCenter::ins().b_online = 1; }

  void init(HAuditReportMgr& store, int max_record) {
    store.init(L"NetSecurity", L"AntiARPSpoofing", HString(kArc), kVersion, max_record);
  }
  static std::string path_of(const std::string& name) {
    HArchiveFile file;
    file.set_name(HString(name));
    return file.path();
  }
  // The archive that holds `queue`, written record by record.
  std::string expected_archive(const std::vector<Block>& queue) {
    frame_test::ArchiveWriter writer(path_of("arc_file/expected"), kVersion);
    writer.queue(queue);
    EXPECT_EQ(0, writer.commit());
    return frame_test::read_file(path_of("arc_file/expected"));
  }
  std::string archive() { return frame_test::read_file(path_of(kArc)); }

  // A block as the store queues it: stamped with the time of queueing.
  static Block stamped(const std::string& mac, int64_t at, size_t records = 1) {
    Block b;
    for (size_t i = 0; i < records; ++i)
      b.push_back(frame_test::make_record("p1", "AntiARP_RP_ARP", mac, static_cast<int32_t>(at)));
    return b;
  }
  static Block fresh(const std::string& mac, size_t records = 1) { return stamped(mac, 0, records); }

  frame_test::TempHome home;
  frame_test::FakeClock clock{kStart};
  frame_test::CoreRecorder core;
};

TEST_F(AuditArchive, ArchiveIsTheQueueAfterEveryKindOfChange) {
  HAuditReportMgr store;
  init(store, 4);
  core.accept_all(false);
  std::vector<Block> queue;

  // Refused reports fill the queue; the fifth drops the oldest.
  const char* macs[] = {"02:77:66:00:00:01", "02:77:66:00:00:02", "02:77:66:00:00:03", "02:77:66:00:00:04",
                        "02:77:66:00:00:05"};
  for (int i = 0; i < 5; ++i) {
    clock.set(kStart + i);
    Block b = fresh(macs[i], static_cast<size_t>(i % 3 + 1));
    store.report(&b);
    queue.push_back(stamped(macs[i], kStart + i, static_cast<size_t>(i % 3 + 1)));
    if (queue.size() > 4) queue.erase(queue.begin());
    ASSERT_EQ(expected_archive(queue), archive()) << "after report " << i;
  }

  // An empty entry is queued once.
  Block empty;
  store.report(&empty);
  queue.erase(queue.begin());
  queue.push_back(Block());
  ASSERT_EQ(expected_archive(queue), archive());

  // The core takes the two oldest, then refuses: the new one waits behind.
  int taken = 0;
  core.decide([&taken](const Block&) { return ++taken <= 2; });
  clock.set(kStart + 100);
  Block late = fresh("02:77:66:00:00:06");
  store.report(&late);
  queue.erase(queue.begin(), queue.begin() + 2);
  queue.push_back(stamped("02:77:66:00:00:06", kStart + 100));
  ASSERT_EQ(expected_archive(queue), archive());

  // Reloaded, the queue writes itself back unchanged.
  HAuditReportMgr reloaded;
  init(reloaded, 4);
  ASSERT_EQ(queue.size(), reloaded.queued());
  core.accept_all(false);
  clock.set(kStart + 200);
  Block after = fresh("02:77:66:00:00:07");
  reloaded.report(&after);
  queue.push_back(stamped("02:77:66:00:00:07", kStart + 200));
  EXPECT_EQ(expected_archive(queue), archive());

  // Everything delivered: an archive with no entry.
  core.accept_all(true);
  reloaded.report(nullptr);
  EXPECT_EQ(0u, reloaded.queued());
  EXPECT_EQ(expected_archive({}), archive());
}

}  // namespace
