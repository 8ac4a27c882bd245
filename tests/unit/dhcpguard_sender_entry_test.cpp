// The DHCP probe's check of every ARP sender: its attack-log entry is put
// together in place, and an empty pending list is seen without the lock.
// The entry must read exactly as the text form of the address and the tick
// count, at their extremes too, and the check must never miss a gateway
// that is pending, however the list changed before.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "dhcpguard/HTestDhcpGateway.h"
#include "platform/WinUser.h"
#include "tests/support/dhcpguard_support.h"

using namespace dhcpguard_test;

namespace {

HDhcpGatewayItem item_for(const std::string& gateway_ip) {
  HDhcpGatewayItem item;
  item.gateway_ip = ip_value(gateway_ip);
  item.client_ip = ip_value(kOfferedIp);
  Bytes client = mac_bytes(kClientMac);
  Bytes server = mac_bytes(kServerMac);
  std::copy(client.begin(), client.end(), item.client_mac);
  std::copy(server.begin(), server.end(), item.server_mac);
  return item;
}

class SenderEntry : public ::testing::Test {
 protected:
  void SetUp() override { platform::set_windows_headless(true); }
  bool heard(const std::string& ip) { return probe.check_arp_sender(ip_value(ip)); }

  DhcpEnv env;
  SentFrames sent;
  FakeTicks ticks{0};
  HTestDhcpGateway probe;
};

TEST_F(SenderEntry, EntryReadsAsTheTextFormsAtTheirExtremes) {
  heard("0.0.0.0");
  ticks.set(4294967295u);
  heard("255.255.255.255");
  ticks.set(100);
  heard("10.0.7.100");
  const std::string log = env.attack_log();
  EXPECT_EQ(1u, count_of(log, "] Recieve an Arp packet from 0.0.0.0, GetTickCount: 0\n"));
  EXPECT_EQ(1u, count_of(log, "] Recieve an Arp packet from 255.255.255.255, GetTickCount: 4294967295\n"));
  EXPECT_EQ(1u, count_of(log, "] Recieve an Arp packet from 10.0.7.100, GetTickCount: 100\n"));
}

TEST_F(SenderEntry, APendingGatewayIsHeardAfterEveryKindOfChange) {
  EXPECT_FALSE(heard(kGatewayIp));  // nothing pending
  HDhcpGatewayItem first = item_for(kGatewayIp);
  probe.add_gateway(first);
  EXPECT_TRUE(heard(kGatewayIp));
  EXPECT_FALSE(heard(kGatewayIp));  // taken by the first answer

  HDhcpGatewayItem again = item_for(kGatewayIp);
  probe.add_gateway(again);
  HDhcpGatewayItem second = item_for(kGateway2Ip);
  probe.add_gateway(second);
  for (DWORD t = 0; t <= 3000; t += 1000) {  // the first gateway's alarm ends its item
    ticks.set(t);
    probe.run_pass();
    if (t == 1000) {
      EXPECT_TRUE(heard(kGateway2Ip));
    }
  }
  EXPECT_EQ(0u, probe.pending());
  EXPECT_FALSE(heard(kGatewayIp));
  HDhcpGatewayItem back = item_for(kGatewayIp);
  probe.add_gateway(back);
  EXPECT_TRUE(heard(kGatewayIp));
}

// Offers and answers on two capture threads: every gateway queued is heard
// exactly once (as many as the pending list takes).
TEST_F(SenderEntry, QueuedGatewaysAreHeardOnceWhileAnotherThreadQueues) {
  constexpr int kGateways = static_cast<int>(HTestDhcpGateway::kMaxPendingGateways);
  std::atomic<int> queued{0};
  std::thread offers([&] {
    for (int i = 0; i < kGateways; ++i) {
      HDhcpGatewayItem item = item_for("10.78." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
      probe.add_gateway(item);
      queued = i + 1;
    }
  });
  int heard_count = 0;
  for (int i = 0; i < kGateways; ++i) {
    while (queued.load() <= i) std::this_thread::yield();
    heard_count += heard("10.78." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)) ? 1 : 0;
  }
  offers.join();
  EXPECT_EQ(kGateways, heard_count);
  EXPECT_EQ(0u, probe.pending());
}

}  // namespace
