// The archive's header carries a CRC-32 of its payload, now computed eight
// bytes at a time: it must be the standard CRC-32 for every payload length
// (every tail of 0 to 7 bytes), or archives written before would read as
// damaged.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/HArchiveFile.h"
#include "tests/support/TestHome.h"

namespace {

uint32_t reference_crc32(const unsigned char* data, size_t length) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    c ^= data[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

uint32_t le32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  return v;
}

TEST(HostArchiveChecksum, StandardCheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(0xCBF43926u, reference_crc32(reinterpret_cast<const unsigned char*>(check.data()), check.size()));
}

TEST(HostArchiveChecksum, HeaderChecksumIsTheStandardOneForEveryLength) {
  tidewell_test::TestHome home("archive-crc");
  uint64_t state = 12345;
  for (size_t length = 0; length <= 67; ++length) {
    HArchiveFile file;
    file.set_name(HString("arc_file/crc"));
    file.get_mem().set_version(173);
    ASSERT_EQ(0, file.prepare_write());
    std::vector<unsigned char> payload;
    for (size_t i = 0; i < length; ++i) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      payload.push_back(static_cast<unsigned char>(state >> 56));
    }
    file.get_mem().write_bytes(payload.data(), payload.size());
    ASSERT_EQ(0, file.commit_write());
    std::string written = tidewell_test::read_file(file.path());
    ASSERT_EQ(16 + length, written.size());
    EXPECT_EQ(reference_crc32(payload.data(), payload.size()), le32(written, 12)) << "payload of " << length;
    // And it reads back without a complaint about its checksum.
    ASSERT_EQ(0, file.prepare_read());
    EXPECT_EQ(length, file.get_mem().remaining());
    file.commit_read();
  }
  EXPECT_EQ(std::string::npos, tidewell_test::general_log().find("checksum mismatch"));
}

}  // namespace
