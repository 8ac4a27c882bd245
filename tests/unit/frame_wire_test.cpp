#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "frame/HProbeMarker.h"
#include "tests/support/FrameBuilder.h"
#include "wire/HIpv4Text.h"
#include "wire/HMacText.h"

namespace {

using tidewell_test::Bytes;

TEST(WireIpv4Text, ParsesOnlyTheTextItWrites) {
  const unsigned char wire[4] = {10, 77, 0, 254};
  uint32_t as_stored = 0;
  std::memcpy(&as_stored, wire, sizeof(wire));
  uint32_t parsed = 0;
  ASSERT_TRUE(HIpv4Text::parse(std::string("10.77.0.254"), parsed));
  EXPECT_EQ(as_stored, parsed);
  parsed = 0;
  ASSERT_TRUE(HIpv4Text::parse(std::wstring(L"10.77.0.254"), parsed));
  EXPECT_EQ(as_stored, parsed);
  // Leading zeros would give one address two texts (and inet_pton refuses them).
  for (const char* bad : {"", "10.77.0", "10.77.0.256", "10.77.0.1.", "10..0.1", "a.b.c.d", "10.77.0.1 ",
                          "1000.1.1.1", "-1.0.0.0", "010.77.0.1", "10.77.00.1", "10.77.0.01"}) {
    uint32_t untouched = 5;
    EXPECT_FALSE(HIpv4Text::parse(std::string(bad), untouched)) << bad;
    EXPECT_EQ(5u, untouched);
  }
}

TEST(WireMacText, ParsingIsStrictInEitherCaseAndSeparator) {
  const unsigned char mac[6] = {0x02, 0xAB, 0x0c, 0xff, 0x00, 0x9e};
  unsigned char out[6];
  ASSERT_TRUE(HMacText::parse(std::string("02:AB:0c:ff:00:9e"), out));
  EXPECT_EQ(0, std::memcmp(mac, out, 6));
  ASSERT_TRUE(HMacText::parse(std::wstring(L"02-ab-0c-ff-00-9e"), out));
  EXPECT_EQ(0, std::memcmp(mac, out, 6));
  for (const char* bad : {"", "02:ab:0c:ff:00", "02:ab:0c:ff:00:9e:", "02:ab:0c:ff:00:9", "2:ab:0c:ff:00:9e0",
                          "02:ab-0c:ff:00:9e", "02.ab.0c.ff.00.9e", "02:ab:0c:ff:00:9g", "02ab0cff009e",
                          "02:ab:0c:ff:00:9e ", " 2:ab:0c:ff:00:9e"}) {
    unsigned char untouched[6] = {1, 1, 1, 1, 1, 1};
    EXPECT_FALSE(HMacText::parse(std::string(bad), untouched)) << bad;
    for (unsigned char b : untouched) EXPECT_EQ(1, b) << bad;
  }
}

// The texts written per frame must be exactly those the rest of the system
// compares with, and never longer than the buffers.
TEST(WireText, EveryByteValueInEveryPositionMatchesPrintf) {
  for (int position = 0; position < 6; ++position) {
    for (int value = 0; value < 256; ++value) {
      unsigned char b[6] = {10, 77, 0, 1, 0xab, 0x0c};
      b[position] = static_cast<unsigned char>(value);
      char ip[HIpv4Text::kMaxLen], mac[HMacText::kLen], want[32];
      if (position < 4) {
        std::snprintf(want, sizeof(want), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
        ASSERT_EQ(want, std::string(ip, HIpv4Text::format(b, ip)));
      }
      std::snprintf(want, sizeof(want), "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
      ASSERT_EQ(want, std::string(mac, HMacText::format(b, mac)));
    }
  }
  const unsigned char widest[4] = {255, 255, 255, 255};
  EXPECT_EQ(HIpv4Text::kMaxLen, HIpv4Text::text(widest).size());
}

TEST(ProbeMarker, OnlyAWholeMarkerInAWholeFrameCounts) {
  Bytes marked(60, 0);
  std::memcpy(marked.data() + HProbeMarker::kOffset, HProbeMarker::kBytes, HProbeMarker::kLen);
  EXPECT_TRUE(HProbeMarker::marks(marked.data(), 60));
  EXPECT_FALSE(HProbeMarker::marks(marked.data(), 59));
  EXPECT_FALSE(HProbeMarker::marks(nullptr, 60));
  for (size_t i = 42; i < 60; ++i) {
    Bytes frame = marked;
    frame[i] ^= 0x01;
    EXPECT_FALSE(HProbeMarker::marks(frame.data(), 60)) << "marker byte " << i;
  }
}

}  // namespace
