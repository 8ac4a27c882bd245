// The benchmark capture: the same seed must give the same frames (so that
// runs on different days compare), the mix must be the one documented, and
// every frame must be what its kind says, as the plug-in and the peers will
// parse it; the file must read back through libpcap.
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchSegment.h"
#include "bench/CaptureWriter.h"
#include "bench/FrameMix.h"
#include "tests/support/TempDir.h"
#include "tests/support/agent_pcap.h"

namespace {

typedef BenchSegment::Frame Frame;

uint16_t be16(const Frame& f, size_t at) { return static_cast<uint16_t>(f[at] << 8 | f[at + 1]); }
uint32_t be32(const Frame& f, size_t at) {
  return static_cast<uint32_t>(f[at]) << 24 | static_cast<uint32_t>(f[at + 1]) << 16 |
         static_cast<uint32_t>(f[at + 2]) << 8 | f[at + 3];
}
bool mac_is(const Frame& f, size_t at, const unsigned char* mac) { return std::memcmp(&f[at], mac, 6) == 0; }

bool ipv4_checksum_ok(const Frame& f) {
  uint32_t sum = 0;
  for (size_t i = 14; i < 34; i += 2) sum += be16(f, i);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return sum == 0xffff;
}

// The message type and router of an offer's options, walked with bounds.
void offer_options(const Frame& f, int& msg_type, uint32_t& router) {
  msg_type = -1;
  router = 0;
  for (size_t at = 282; at < f.size() && f[at] != 255;) {
    if (f[at] == 0) {
      ++at;
      continue;
    }
    ASSERT_LT(at + 1, f.size());
    size_t len = f[at + 1];
    ASSERT_LE(at + 2 + len, f.size());
    if (f[at] == 53 && len >= 1) msg_type = f[at + 2];
    if (f[at] == 3 && len >= 4) router = be32(f, at + 2);
    at += 2 + len;
  }
}

std::vector<std::pair<Frame, FrameMix::Kind>> frames_of(uint64_t seed, uint64_t count, uint64_t addressless = 0,
                                                        bool arp_only = false) {
  static const BenchSegment seg;
  FrameMix mix(seg, seed, count, addressless, arp_only);
  std::vector<std::pair<Frame, FrameMix::Kind>> out;
  Frame f;
  FrameMix::Kind k;
  while (mix.next(f, k)) out.emplace_back(f, k);
  return out;
}

TEST(BenchCapture, SameSeedSameFramesAnotherSeedOthers) {
  auto a = frames_of(7, 5000);
  auto b = frames_of(7, 5000);
  auto c = frames_of(8, 5000);
  ASSERT_EQ(5000u, a.size());
  EXPECT_TRUE(a == b);
  size_t same = 0;
  for (size_t i = 0; i < a.size(); ++i) same += a[i] == c[i] ? 1 : 0;
  EXPECT_LT(same, 500u);
}

TEST(BenchCapture, MixHasTheDocumentedShares) {
  const std::map<FrameMix::Kind, double> per_mille = {
      {FrameMix::kArpAmongHosts, 480}, {FrameMix::kArpReplyToHost, 150}, {FrameMix::kGatewayArp, 40},
      {FrameMix::kSpoofedGateway, 20}, {FrameMix::kOfferUnicast, 10},     {FrameMix::kOfferBroadcast, 10},
      {FrameMix::kOfferWithoutAddress, 5}, {FrameMix::kOtherIpv4, 285}};
  const double n = 200000;
  std::map<FrameMix::Kind, double> seen;
  for (const auto& fk : frames_of(7, static_cast<uint64_t>(n))) seen[fk.second] += 1;
  for (const auto& share : per_mille) {
    double expected = n * share.second / 1000;
    double sigma = std::sqrt(expected);
    EXPECT_NEAR(expected, seen[share.first], 5 * sigma) << FrameMix::kind_name(share.first);
  }
}

TEST(BenchCapture, EveryFrameIsWhatItsKindSays) {
  const BenchSegment seg;
  for (const auto& fk : frames_of(7, 20000, 4)) {
    const Frame& f = fk.first;
    const std::string kind = FrameMix::kind_name(fk.second);
    ASSERT_GE(f.size(), 60u) << kind;
    ASSERT_LE(f.size(), 1514u) << kind;
    switch (fk.second) {
      case FrameMix::kArpAmongHosts:
      case FrameMix::kArpReplyToHost:
      case FrameMix::kGatewayArp:
      case FrameMix::kSpoofedGateway:
        ASSERT_EQ(60u, f.size());
        ASSERT_EQ(0x0806, be16(f, 12));
        ASSERT_EQ(1, be16(f, 14));
        ASSERT_EQ(0x0800, be16(f, 16));
        ASSERT_EQ(6, f[18]);
        ASSERT_EQ(4, f[19]);
        ASSERT_TRUE(mac_is(f, 6, &f[22])) << kind << ": Ethernet source is the sender";
        if (fk.second == FrameMix::kArpReplyToHost || fk.second == FrameMix::kSpoofedGateway) {
          ASSERT_EQ(2, be16(f, 20));
          ASSERT_EQ(seg.guarded().ip, be32(f, 38));
          ASSERT_TRUE(mac_is(f, 0, seg.guarded().mac));
        }
        if (fk.second == FrameMix::kSpoofedGateway) {
          ASSERT_EQ(seg.gateway().ip, be32(f, 28));
          ASSERT_FALSE(mac_is(f, 22, seg.gateway().mac));
        }
        if (fk.second == FrameMix::kGatewayArp) {
          ASSERT_TRUE(mac_is(f, 22, seg.gateway().mac));
        }
        break;
      case FrameMix::kOfferUnicast:
      case FrameMix::kOfferBroadcast:
      case FrameMix::kOfferWithoutAddress: {
        ASSERT_EQ(0x0800, be16(f, 12));
        ASSERT_TRUE(ipv4_checksum_ok(f));
        ASSERT_EQ(17, f[23]);
        ASSERT_EQ(67, be16(f, 34));
        ASSERT_EQ(68, be16(f, 36));
        ASSERT_EQ(2, f[42]);
        ASSERT_EQ(0x63825363u, be32(f, 278));
        int msg_type = 0;
        uint32_t router = 0;
        offer_options(f, msg_type, router);
        ASSERT_EQ(2, msg_type);
        ASSERT_NE(0u, router);
        bool broadcast = fk.second == FrameMix::kOfferBroadcast;
        const unsigned char ff[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
        ASSERT_TRUE(mac_is(f, 0, broadcast ? ff : seg.guarded().mac));
        ASSERT_EQ(fk.second == FrameMix::kOfferWithoutAddress ? 0u : seg.guarded().ip, be32(f, 58));
        break;
      }
      default:
        ASSERT_EQ(0x0800, be16(f, 12));
        ASSERT_TRUE(ipv4_checksum_ok(f));
        ASSERT_NE(2, f[42]) << "no other frame may read as a DHCP reply";
        ASSERT_TRUE(f[23] == 6 || f[23] == 17);
        ASSERT_NE(67, be16(f, 34));
        ASSERT_NE(68, be16(f, 36));
    }
  }
}

TEST(BenchCapture, OffersWithoutAddressComeAtEvenIntervalsAndArpOnlyIsArp) {
  auto frames = frames_of(7, 10000, 5);
  for (size_t at = 999; at < frames.size(); at += 2000) EXPECT_EQ(FrameMix::kOfferWithoutAddress, frames[at].second);
  for (const auto& fk : frames_of(7, 10000, 5, true)) {
    ASSERT_EQ(0x0806, be16(fk.first, 12)) << FrameMix::kind_name(fk.second);
  }
}

TEST(BenchCapture, CaptureFileReadsBackThroughLibpcap) {
  tidewell_test::TempDir dir("bench-capture");
  const std::string path = dir.file("mix.pcap");
  auto frames = frames_of(7, 1000);
  CaptureWriter writer;
  ASSERT_EQ(0, writer.open(path));
  for (size_t i = 0; i < frames.size(); ++i) {
    ASSERT_EQ(0, writer.write(1767225600ull * 1000000 + i * 10, frames[i].first.data(), frames[i].first.size()));
  }
  ASSERT_EQ(0, writer.close());

  char errbuf[PCAP_ERRBUF_SIZE];
  pcap_t* pcap = pcap_open_offline(path.c_str(), errbuf);
  ASSERT_NE(nullptr, pcap) << errbuf;
  EXPECT_EQ(DLT_EN10MB, pcap_datalink(pcap));
  pcap_close(pcap);
  std::vector<agent_test::TimedFrame> back = agent_test::read_pcap(path);
  ASSERT_EQ(frames.size(), back.size());
  for (size_t i = 0; i < back.size(); ++i) {
    ASSERT_EQ(frames[i].first, back[i].bytes) << i;
    EXPECT_NEAR(1767225600.0 + static_cast<double>(i) * 10e-6, back[i].ts, 1e-6) << i;
  }
}

}  // namespace
