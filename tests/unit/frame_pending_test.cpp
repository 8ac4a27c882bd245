// The bounded list of pending probes and the drop counter that every prober,
// queue and map of the guards shares.
#include <gtest/gtest.h>

#include <list>
#include <vector>

#include "frame/HDropCounter.h"
#include "frame/HPendingProbes.h"
#include "tests/support/FakeTicks.h"

namespace {

using tidewell_test::FakeTicks;

struct Item {
  uint32_t address = 0;
  DWORD send_tick = 0;
  DWORD retry_count = 0;
  bool b_sent = false;
};
struct AddressOf {
  uint32_t operator()(const Item& item) const { return item.address; }
};
using Probes = HPendingProbes<std::list<Item>, AddressOf>;

Item item(uint32_t address) {
  Item i;
  i.address = address;
  return i;
}

// Sends a request, then again after every silent second, across the wrap of
// the tick counter, and gives up after the third silent second.
TEST(PendingProbes, RetriesEverySecondAcrossTheTickWrapThenGivesUp) {
  FakeTicks ticks{0xFFFFFE00u};
  Probes probes(4);
  ASSERT_TRUE(probes.add(item(7)));
  std::vector<bool> sends;
  int given_up = 0;
  auto pass = [&] {
    probes.pass([&](const Item&, bool again) { sends.push_back(again); }, [&](const Item&) { ++given_up; });
  };
  pass();
  ticks.set(0x000001E7u);  // 999 ms later, past the wrap
  pass();
  EXPECT_EQ(std::vector<bool>({false}), sends);
  for (DWORD t : {0x000001E8u, 0x000005D0u}) {
    ticks.set(t);
    pass();
  }
  EXPECT_EQ(std::vector<bool>({false, true, true}), sends);
  ticks.set(0x000009B7u);
  pass();
  EXPECT_EQ(0, given_up);
  ticks.set(0x000009B8u);
  pass();
  EXPECT_EQ(1, given_up);
  EXPECT_EQ(0u, probes.size());
  EXPECT_FALSE(probes.may_hold(7));
}

// The list stops at its bound; the mask never misses a pending address
// (whichever of them shares its bit) and clears with the last one.
TEST(PendingProbes, BoundAndMaskFollowEveryChange) {
  Probes probes(300);
  for (uint32_t a = 1; a <= 300; ++a) ASSERT_TRUE(probes.add(item(a * 0x01000000u + a)));
  EXPECT_FALSE(probes.add(item(1)));
  EXPECT_EQ(300u, probes.size());
  for (uint32_t a = 1; a <= 300; ++a) EXPECT_TRUE(probes.may_hold(a * 0x01000000u + a)) << a;
  EXPECT_EQ(150u, probes.remove_if([](const Item& i) { return (i.address & 1) == 0; }));
  for (uint32_t a = 1; a <= 300; a += 2) EXPECT_TRUE(probes.may_hold(a * 0x01000000u + a)) << a;
  probes.remove_if([](const Item&) { return true; });
  for (uint32_t a = 1; a <= 300; ++a) EXPECT_FALSE(probes.may_hold(a * 0x01000000u + a)) << a;
}

// The first drop is logged, then at most one a second (across the wrap of
// the tick counter), each with the count so far; after rearm() at once.
TEST(DropCounter, LogsTheFirstThenOnceASecondAcrossTheWrapWithTheCount) {
  FakeTicks ticks{0xFFFFFE00u};
  HDropCounter drops;
  uint64_t total = 0;
  EXPECT_TRUE(drops.count(total));
  EXPECT_EQ(1u, total);
  ticks.advance(999);
  EXPECT_FALSE(drops.count(total));
  ticks.advance(1);
  EXPECT_TRUE(drops.count(total));
  EXPECT_EQ(3u, total);
  EXPECT_FALSE(drops.count(total));
  drops.rearm();
  EXPECT_TRUE(drops.count(total));
  EXPECT_EQ(5u, drops.total());
}

}  // namespace
