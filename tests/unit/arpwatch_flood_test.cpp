// The probe thread under a flood of claims of a gateway for ever new MACs:
// while its list stays full the drops are logged with their count once a
// second, so a long flood is seen in the log and not only its start.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "arpwatch/HTestThread.h"
#include "tests/support/arpwatch_support.h"

using namespace arpwatch_test;

namespace {

HMacChangeItem change(size_t n) {
  char mac[18];
  std::snprintf(mac, sizeof(mac), "02:66:00:%02x:%02x:%02x", static_cast<unsigned>((n >> 16) & 0xff),
                static_cast<unsigned>((n >> 8) & 0xff), static_cast<unsigned>(n & 0xff));
  HMacChangeItem item;
  item.ip = HString(kGatewayIp);
  item.old_mac = HString(kGatewayMac);
  item.new_mac = HString(mac);
  return item;
}

class ArpProbeFlood : public ::testing::Test {
 protected:
  void flood(size_t from, size_t count) {
    for (size_t n = from; n < from + count; ++n) probe.add_probe(change(n));
  }
  size_t drop_lines() { return count_of(env.general_log(), "probe list full"); }

  WatchEnv env;
  FakeTicks ticks{0xFFFFFE00u};
  HTestThread probe{HString(kHostIp), HString(kHostMac)};
};

TEST_F(ArpProbeFlood, FullListLogsItsDropsOnceASecondWithTheCount) {
  flood(0, HTestThread::kMaxPendingProbes + 100);
  EXPECT_EQ(100u, probe.dropped());
  EXPECT_EQ(1u, drop_lines());
  EXPECT_NE(std::string::npos, env.general_log().find("changes dropped so far 1\n"));

  ticks.advance(999);  // across the wrap of the counter
  flood(5000, 10);
  EXPECT_EQ(1u, drop_lines());
  ticks.advance(1);
  flood(6000, 1);
  EXPECT_EQ(2u, drop_lines());
  EXPECT_NE(std::string::npos, env.general_log().find("changes dropped so far 111"));
  EXPECT_EQ(HTestThread::kMaxPendingProbes, probe.pending());
}

}  // namespace
