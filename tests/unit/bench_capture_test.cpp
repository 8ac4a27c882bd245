// The benchmark capture: the same seed must give the same frames, so that
// runs on different days compare.
#include <gtest/gtest.h>

#include <vector>

#include "bench/BenchSegment.h"
#include "bench/FrameMix.h"

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

}  // namespace
