#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "host/ARPSpoofingReport_Local.h"
#include "tests/support/CoreFiles.h"

namespace {

class HostArchiveTest : public tidewell_test::ArchiveFileTest {
 protected:
  void write_sample(int first, const HString& text) {
    ASSERT_EQ(0, file.prepare_write());
    HArchiveMem& m = file.get_mem();
    m.write_basic(first);
    m.write_string(text);
    m.write_basic(-7);
    ASSERT_EQ(0, file.commit_write());
  }
};

// A wrong magic: the bounds test's file without a header; a file cut
// inside its header: the damaged archives of the durability lab test.
TEST_F(HostArchiveTest, MissingFileOrWrongVersionAreRefused) {
  EXPECT_EQ(-1, file.prepare_read());
  write_sample(1, L"x");
  HArchiveFile other_version;
  other_version.set_name(HString(path()));
  other_version.get_mem().set_version(172);
  EXPECT_EQ(-1, other_version.prepare_read());
  EXPECT_NE(std::string::npos, tidewell_test::general_log().find("version 173, expected 172"));
}

TEST_F(HostArchiveTest, LeftoverTmpFromACrashNeverReplacesTheArchive) {
  write_sample(1, L"old");
  // A crash after NAME.tmp was started but before the rename.
  tidewell_test::write_file(path() + ".tmp", "HARC\xad\x00\x00\x00garbage");
  ASSERT_EQ(0, file.prepare_read());
  int v = 0;
  HString s;
  file.get_mem().read_basic(v);
  file.get_mem().read_string(s);
  EXPECT_EQ(HString(L"old"), s);
  file.commit_read();

  write_sample(2, L"new");
  EXPECT_FALSE(tidewell_test::file_exists(path() + ".tmp"));
  ASSERT_EQ(0, file.prepare_read());
  file.get_mem().read_basic(v);
  EXPECT_EQ(2, v);
}

TEST_F(HostArchiveTest, FailedRewriteKeepsThePreviousArchive) {
  write_sample(1, L"kept");
  std::string before = tidewell_test::read_file(path());
  std::filesystem::create_directory(path() + ".tmp");  // the aside copy cannot be opened
  ASSERT_EQ(0, file.prepare_write());
  file.get_mem().write_basic(99);
  EXPECT_EQ(-1, file.commit_write());
  EXPECT_EQ(before, tidewell_test::read_file(path()));
}

TEST_F(HostArchiveTest, TruncatedFileIsLoggedAndOfferedAsFarAsItGoes) {
  write_sample(5, L"abcdef");
  std::string bytes = tidewell_test::read_file(path());
  tidewell_test::write_file(path(), bytes.substr(0, bytes.size() - 6));  // cuts the last int and a bit of the string
  ASSERT_EQ(0, file.prepare_read());
  EXPECT_NE(std::string::npos, tidewell_test::general_log().find("truncated"));
  HArchiveMem& m = file.get_mem();
  int v = 0;
  HString s = L"untouched";
  ASSERT_EQ(0, m.read_basic(v));
  EXPECT_EQ(5, v);
  size_t left = m.remaining();
  EXPECT_EQ(-1, m.read_string(s));
  EXPECT_EQ(HString(L"untouched"), s);
  EXPECT_EQ(left, m.remaining());  // a failed read consumes nothing
}

// A length near 2^31 characters, and one whose byte count wraps 32 bits.
TEST(HostArchiveMem, ImplausibleStringLengthFailsBeforeAllocating) {
  for (int length : {0x7FFFFFFF, 0x40000001}) {
    HArchiveMem m;
    m.write_basic(length);
    m.write_basic(0x41);
    HArchiveMem reader;
    reader.reset(m.data());
    HString s;
    EXPECT_EQ(-1, reader.read_string(s)) << length;
    EXPECT_EQ(8u, reader.remaining()) << length;
  }
}

// ---- the report record inside an archive

using HostReportRecord = tidewell_test::CoreFilesTest;

bool same(const ARPSpoofingReport_Local& a, const ARPSpoofingReport_Local& b) {
  return a.strPolicyID == b.strPolicyID && a.iAttackType == b.iAttackType && a.iOffline == b.iOffline &&
         a.iElapsed == b.iElapsed && a.str_desc == b.str_desc && a.mapDesc == b.mapDesc;
}

TEST_F(HostReportRecord, ImplausibleMapCountOrCutRecordLeavesItUntouched) {
  ARPSpoofingReport_Local good = bind_record();
  HArchiveMem m;
  good.__inter_set_arc_obj(&m);
  good.arc_write();
  std::vector<unsigned char> bytes = m.data();

  // The map count sits right behind str_desc: huge, then negative.
  const size_t count_at = 4 + 2 * 4 + 3 * 4 + 4 + 19 * 4;
  ARPSpoofingReport_Local untouched = bind_record();
  untouched.strPolicyID = L"keep";
  untouched.iElapsed = 3;
  ARPSpoofingReport_Local target = untouched;
  HArchiveMem r;
  target.__inter_set_arc_obj(&r);
  for (int count : {0x0FFFFFFF, -1}) {
    std::vector<unsigned char> bad = bytes;
    std::memcpy(&bad[count_at], &count, sizeof(count));
    r.reset(bad);
    EXPECT_EQ(-1, target.arc_read()) << count;
    EXPECT_TRUE(same(untouched, target)) << count;
  }
  for (size_t cut = 0; cut < bytes.size(); cut += 7) {
    r.reset(std::vector<unsigned char>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
    EXPECT_EQ(-1, target.arc_read()) << cut;
    EXPECT_TRUE(same(untouched, target)) << cut;
  }
  ARPSpoofingReport_Local detached;
  EXPECT_EQ(-1, detached.arc_read());
  EXPECT_EQ(-1, detached.arc_write());
}

}  // namespace
