// The benchmark capture: the same seed must give the same frames (so that
// runs on different days compare), and the file must read back through
// libpcap.
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <string>
#include <vector>

#include "bench/BenchSegment.h"
#include "bench/CaptureWriter.h"
#include "bench/FrameMix.h"
#include "tests/support/TempDir.h"
#include "tests/support/agent_pcap.h"

namespace {

typedef BenchSegment::Frame Frame;

std::vector<std::pair<Frame, FrameMix::Kind>> frames_of(uint64_t seed, uint64_t count) {
  static const BenchSegment seg;
  FrameMix mix(seg, seed, count, 0, false);
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
