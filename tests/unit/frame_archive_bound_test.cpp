// The audit store's queue stays within its bound whatever the archive it
// loads claims: an archive with more entries than i_max_record (a damaged
// count, or a bound lowered since it was written) keeps its newest entries.
// Found by the archive reader's fuzz target.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/HAuditReportMgr.h"
#include "host/HArchiveFile.h"
#include "host/HEventCenter.h"
#include "tests/support/CoreRecorder.h"
#include "tests/support/TestHome.h"

using tidewell_test::Block;

namespace {

const char kArc[] = "arc_file\\his_arp_attack";
constexpr int kVersion = 173;

ARPSpoofingReport_Local record(int n) {
  ARPSpoofingReport_Local r;
  r.strPolicyID = L"p1";
  r.iAttackType = 1;
  r.str_desc = L"AntiARP_RP_ARP";
  r.mapDesc[L"mac"] = HString("m" + std::to_string(n));
  return r;
}

// Writes `entries` one-record entries numbered from 0, as the store lays
// them out.
void write_archive(int entries) {
  HArchiveFile file;
  file.set_name(HString(kArc));
  file.get_mem().set_version(kVersion);
  ASSERT_EQ(0, file.prepare_write());
  HArchiveMem& mem = file.get_mem();
  mem.write_basic(entries);
  for (int i = 0; i < entries; ++i) {
    mem.write_basic(1);
    ARPSpoofingReport_Local r = record(i);
    r.__inter_set_arc_obj(&mem);
    r.arc_write();
  }
  ASSERT_EQ(0, file.commit_write());
}

std::vector<std::string> delivered_macs(HAuditReportMgr& store) {
  tidewell_test::CoreRecorder core;
  store.report(nullptr);
  std::vector<std::string> macs;
  for (const ARPSpoofingReport_Local& r : core.reports()) macs.push_back(tidewell_test::narrow(r.mapDesc.at(L"mac")));
  return macs;
}

class FrameArchiveBound : public ::testing::Test {
 protected:
  void SetUp() override { HEventCenter::ins().b_online = 1; }
  tidewell_test::TestHome home{"frame-archive-bound"};
};

TEST_F(FrameArchiveBound, ArchiveBeyondTheBoundKeepsItsNewestEntriesInOrder) {
  write_archive(305);
  HAuditReportMgr store;
  store.init(L"NetSecurity", L"AntiARPSpoofing", HString(kArc), kVersion, 300);
  ASSERT_EQ(300u, store.queued());
  std::vector<std::string> macs = delivered_macs(store);
  ASSERT_EQ(300u, macs.size());
  EXPECT_EQ("m5", macs.front());
  EXPECT_EQ("m304", macs.back());
  for (size_t i = 0; i < macs.size(); ++i) ASSERT_EQ("m" + std::to_string(i + 5), macs[i]);
  EXPECT_NE(std::string::npos,
            tidewell_test::general_log().find("305 entries beyond i_max_record 300, oldest 5 dropped"));
}

TEST_F(FrameArchiveBound, HugeEntryCountLoadsNoMoreThanTheBound) {
  // 200000 empty entries fit in 800 kB: the count is plausible for the
  // file, and still far beyond what the queue may hold.
  HArchiveFile file;
  file.set_name(HString(kArc));
  file.get_mem().set_version(kVersion);
  ASSERT_EQ(0, file.prepare_write());
  file.get_mem().write_basic(200000);
  for (int i = 0; i < 200000; ++i) file.get_mem().write_basic(0);
  ASSERT_EQ(0, file.commit_write());

  HAuditReportMgr store;
  store.init(L"NetSecurity", L"AntiARPSpoofing", HString(kArc), kVersion, 3);
  EXPECT_EQ(3u, store.queued());
}

TEST_F(FrameArchiveBound, ArchiveAtTheBoundLoadsWhole) {
  write_archive(300);
  HAuditReportMgr store;
  store.init(L"NetSecurity", L"AntiARPSpoofing", HString(kArc), kVersion, 300);
  std::vector<std::string> macs = delivered_macs(store);
  ASSERT_EQ(300u, macs.size());
  EXPECT_EQ("m0", macs.front());
  EXPECT_EQ(std::string::npos, tidewell_test::general_log().find("beyond i_max_record"));
}

}  // namespace
