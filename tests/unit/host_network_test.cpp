#include <gtest/gtest.h>

#include <cstring>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <vector>

#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HRouteTable.h"
#include "host/HSysInfoMgr.h"
#include "platform/NetlinkClient.h"
#include "platform/WinTime.h"

namespace {

using Bytes = std::vector<unsigned char>;
using platform::NetlinkClient;

uint32_t ip(const char* text) {
  uint32_t v = 0;
  EXPECT_TRUE(HNetworkProtocolUtil::ParseIPString(text, v));
  return v;
}

// ---- dump buffers built the way the kernel lays them out

void append(Bytes& out, const void* data, size_t len) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  out.insert(out.end(), bytes, bytes + len);
}

struct Attr {
  unsigned short type;
  Bytes data;
};

Attr u32(unsigned short type, uint32_t value) {
  Attr a{type, {}};
  append(a.data, &value, sizeof(value));
  return a;
}

// One message of `type` whose body is `body`, then `attrs`.
Bytes message(uint16_t type, uint32_t seq, const void* body, size_t body_len, const std::vector<Attr>& attrs = {}) {
  unsigned char buf[256];
  size_t len = NetlinkClient::start_request(buf, sizeof(buf), type, 0, seq, body, body_len);
  for (const Attr& a : attrs)
    EXPECT_TRUE(NetlinkClient::add_attr(buf, sizeof(buf), len, a.type, a.data.data(), a.data.size()));
  return Bytes(buf, buf + NLMSG_ALIGN(len));
}

Bytes route(uint32_t seq, const std::vector<Attr>& attrs, unsigned char dst_len = 0,
            unsigned char table = RT_TABLE_MAIN, unsigned char type = RTN_UNICAST) {
  struct rtmsg rt {};
  rt.rtm_family = AF_INET;
  rt.rtm_dst_len = dst_len;
  rt.rtm_table = table;
  rt.rtm_type = type;
  return message(RTM_NEWROUTE, seq, &rt, sizeof(rt), attrs);
}

// Two next hops: ifindex 10 via 10.77.1.1, ifindex 11 via 10.77.2.1.
Attr two_hops() {
  Attr a{RTA_MULTIPATH, {}};
  for (int i = 0; i < 2; ++i) {
    struct rtnexthop nh {};
    nh.rtnh_len = static_cast<unsigned short>(RTNH_LENGTH(RTA_LENGTH(4)));
    nh.rtnh_ifindex = 10 + i;
    struct rtattr gw_attr {};
    gw_attr.rta_len = RTA_LENGTH(4);
    gw_attr.rta_type = RTA_GATEWAY;
    uint32_t gw = ip(i == 0 ? "10.77.1.1" : "10.77.2.1");
    append(a.data, &nh, sizeof(nh));
    append(a.data, &gw_attr, sizeof(gw_attr));
    append(a.data, &gw, sizeof(gw));
  }
  return a;
}

// Keeps IPv4 default unicast routes of the main table, one entry per next
// hop in the dump's order; drops a route whose attribute runs past its
// message and a gateway too short for an address; stops at the dump's end
// or an error of its own sequence number.
TEST(HostRouteDump, KeepsDefaultRoutesOfTheMainTableAndEveryLengthIsChecked) {
  const uint32_t seq = 7;
  Bytes overrun = route(seq, {u32(RTA_OIF, 6), u32(RTA_GATEWAY, ip("10.77.0.6"))});
  const unsigned short huge = 200;
  std::memcpy(overrun.data() + overrun.size() - 8, &huge, sizeof(huge));  // the gateway's rta_len
  const int no_error = 0;
  const std::vector<Bytes> messages = {
      route(seq, {u32(RTA_OIF, 3), u32(RTA_GATEWAY, ip("10.77.0.1")), u32(RTA_PRIORITY, 100)}),
      route(seq, {u32(RTA_OIF, 3)}, 24),                                     // not a default route
      route(seq, {u32(RTA_OIF, 4)}, 0, RT_TABLE_LOCAL),                      // other table
      route(seq, {u32(RTA_TABLE, 200), u32(RTA_OIF, 5)}, 0, RT_TABLE_UNSPEC),  // table in the attribute
      route(seq, {u32(RTA_OIF, 6)}, 0, RT_TABLE_MAIN, RTN_BLACKHOLE),
      route(99, {u32(RTA_OIF, 7)}),                                          // another dump's
      route(seq, {u32(RTA_OIF, 9)}),                                         // default without gateway
      route(seq, {u32(RTA_OIF, 8), Attr{RTA_GATEWAY, Bytes(2, 1)}}),         // gateway too short
      overrun,
      route(seq, {two_hops()}),
      message(NLMSG_DONE, seq, &no_error, sizeof(no_error))};
  Bytes dump;
  for (const Bytes& m : messages) dump.insert(dump.end(), m.begin(), m.end());
  std::vector<HRouteEntry> routes;
  ASSERT_EQ(0, HRouteTable::parse_dump(dump.data(), dump.size(), seq, routes));
  std::vector<std::vector<uint32_t>> found;
  for (const HRouteEntry& r : routes) found.push_back({static_cast<uint32_t>(r.i_ifindex), r.ul_gateway, r.ul_priority});
  const std::vector<std::vector<uint32_t>> expected = {
      {3, ip("10.77.0.1"), 100}, {9, 0, 0}, {8, 0, 0}, {10, ip("10.77.1.1"), 0}, {11, ip("10.77.2.1"), 0}};
  EXPECT_EQ(expected, found);

  struct nlmsgerr err {};
  Bytes error = message(NLMSG_ERROR, seq, &err, sizeof(err));
  EXPECT_EQ(-1, HRouteTable::parse_dump(error.data(), error.size(), seq, routes));
}

// ---- the host's adapters and main address

// The live answer itself (the kernel's default routes as the adapters'
// gateways) is checked end to end by the events lab test's state.json.
TEST(HostNicInfo, LiveAnswerIsReusedForOneSecondAcrossTheTickWrap) {
  DWORD tick = 0xFFFFFF00u;
  platform::set_tick_source([&tick] { return tick; });
  std::vector<HNetwrokAdapterNode> adapters;
  unsigned long before = HNetworkUtil::live_reads();
  HNetworkUtil::GetNICInfo(adapters, true);
  unsigned long reads = HNetworkUtil::live_reads();
  EXPECT_EQ(before + 1, reads);
  for (int i = 0; i < 50; ++i) HNetworkUtil::GetNICInfo(adapters, true);
  tick += 999;  // past the counter's wrap, still within the second
  HNetworkUtil::GetNICInfo(adapters, false);
  EXPECT_EQ(reads, HNetworkUtil::live_reads());
  tick += 1;
  HNetworkUtil::GetNICInfo(adapters, true);
  EXPECT_EQ(reads + 1, HNetworkUtil::live_reads());
  platform::set_tick_source(nullptr);
}

// An unknown interface, and the virtual host, which wins over it. The
// default route's interface and a named one: the live lab tests, whose
// probes ask from the address found (test_agent_live, the arpwatch tests).
TEST(HostMainIpMac, UnknownInterfaceEmptiesBothAndTheVirtualHostWins) {
  HSysInfoMgr& info = HSysInfoMgr::ins();
  HString ip_text = L"old", mac = L"old";
  info.set_interface(L"nosuchif77");
  EXPECT_EQ(-1, info.get_main_ip_mac(ip_text, mac));
  EXPECT_TRUE(ip_text.empty() && mac.empty()) << "both texts emptied";
  info.set_virtual(L"10.77.0.2", L"02:00:00:00:00:02");
  ASSERT_EQ(0, info.get_main_ip_mac(ip_text, mac));
  EXPECT_EQ(HString(L"10.77.0.2"), ip_text);
  EXPECT_EQ(HString(L"02:00:00:00:00:02"), mac);
}

}  // namespace
