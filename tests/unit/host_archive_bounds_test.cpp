// The archive reader costs no more memory than an archive of ours may hold,
// whatever lies in the file: the header is checked before the payload is
// read, and only the length it announces is read. Found with the damaged
// archives of scripts/durability.sh (a 64 MB file of zeros was read whole
// before its header was looked at).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CoreFiles.h"

namespace {

constexpr size_t kBigFile = 48u * 1024 * 1024;

long max_rss_kb() {
  rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class HostArchiveBounds : public tidewell_test::ArchiveFileTest {
 protected:
  std::string log() const { return tidewell_test::general_log(); }

  // `bytes` (a good archive of two values when empty), then `zeros` bytes of
  // zeros behind it.
  void write_with_tail(std::vector<unsigned char> bytes, size_t zeros) {
    if (bytes.empty()) {
      ASSERT_EQ(0, file.prepare_write());
      file.get_mem().write_basic(7);
      file.get_mem().write_basic(8);
      ASSERT_EQ(0, file.commit_write());
      std::string good = tidewell_test::read_file(path());
      bytes.assign(good.begin(), good.end());
    }
    std::filesystem::create_directories(home.file("arc_file"));
    std::ofstream out(path(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    // In pieces: a buffer of the whole size would raise the peak that the
    // tests measure.
    std::vector<char> piece(1024 * 1024, 0);
    for (size_t left = zeros, n = 0; left > 0; left -= n) {
      n = std::min(left, piece.size());
      out.write(piece.data(), static_cast<std::streamsize>(n));
    }
  }
};

TEST_F(HostArchiveBounds, BigFileWithoutHeaderIsRefusedUnread) {
  write_with_tail({0}, kBigFile - 1);
  long before = max_rss_kb();
  EXPECT_EQ(-1, file.prepare_read());
  EXPECT_LT(max_rss_kb() - before, 8 * 1024) << "the file was read before its header was checked";
  EXPECT_NE(std::string::npos, log().find("is no archive (bad header)"));
}

TEST_F(HostArchiveBounds, OnlyTheAnnouncedPayloadIsReadOfABigFile) {
  write_with_tail({}, kBigFile);
  long before = max_rss_kb();
  ASSERT_EQ(0, file.prepare_read());
  EXPECT_LT(max_rss_kb() - before, 8 * 1024);
  EXPECT_EQ(8u, file.get_mem().remaining());
  int a = 0, b = 0;
  EXPECT_EQ(0, file.get_mem().read_basic(a));
  EXPECT_EQ(0, file.get_mem().read_basic(b));
  EXPECT_EQ(7, a);
  EXPECT_EQ(8, b);
  EXPECT_NE(std::string::npos, log().find("damaged (bytes beyond the payload)"));
  EXPECT_EQ(std::string::npos, log().find("checksum mismatch")) << "the announced payload itself is whole";
}

TEST_F(HostArchiveBounds, ImplausibleAnnouncedLengthIsRefused) {
  // Magic, version 173, a payload of 1 GiB announced, a checksum; then 1 MB.
  std::vector<unsigned char> header = {'H', 'A', 'R', 'C', 173, 0, 0, 0, 0, 0, 0, 0x40, 1, 2, 3, 4};
  write_with_tail(header, 1024 * 1024);
  long before = max_rss_kb();
  EXPECT_EQ(-1, file.prepare_read());
  EXPECT_LT(max_rss_kb() - before, 8 * 1024);
  EXPECT_NE(std::string::npos, log().find("damaged (implausible length)"));
  EXPECT_EQ(0u, file.get_mem().remaining());
}

}  // namespace
