#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sstream>
#include <vector>

#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HRouteTable.h"
#include "host/HSysInfoMgr.h"
#include "platform/WinTime.h"

namespace {

// ---- dump buffers built the way the kernel lays them out

class DumpBuilder {
 public:
  explicit DumpBuilder(uint32_t seq) : seq_(seq) {}

  // Starts an RTM_NEWROUTE message; attributes follow with attr().
  DumpBuilder& route(unsigned char dst_len = 0, unsigned char table = RT_TABLE_MAIN,
                     unsigned char type = RTN_UNICAST) {
    start_ = buf_.size();
    struct nlmsghdr h {};
    h.nlmsg_type = RTM_NEWROUTE;
    h.nlmsg_seq = seq_;
    append(&h, sizeof(h));
    struct rtmsg rt {};
    rt.rtm_family = AF_INET;
    rt.rtm_dst_len = dst_len;
    rt.rtm_table = table;
    rt.rtm_type = type;
    append(&rt, sizeof(rt));
    return finish();
  }
  DumpBuilder& attr(unsigned short type, const void* data, size_t len) {
    buf_.resize(RTA_ALIGN(buf_.size()));
    struct rtattr a {};
    a.rta_len = static_cast<unsigned short>(RTA_LENGTH(len));
    a.rta_type = type;
    append(&a, sizeof(a));
    append(data, len);
    return finish();
  }
  DumpBuilder& u32(unsigned short type, uint32_t v) { return attr(type, &v, sizeof(v)); }
  DumpBuilder& done() {
    buf_.resize(NLMSG_ALIGN(buf_.size()));
    start_ = buf_.size();
    struct nlmsghdr h {};
    h.nlmsg_type = NLMSG_DONE;
    h.nlmsg_seq = seq_;
    h.nlmsg_len = NLMSG_LENGTH(4);
    append(&h, sizeof(h));
    buf_.resize(buf_.size() + 4);
    return *this;
  }
  std::vector<unsigned char>& bytes() { return buf_; }
  size_t last_start() const { return start_; }

 private:
  void append(const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    buf_.insert(buf_.end(), b, b + n);
  }
  DumpBuilder& finish() {
    uint32_t len = static_cast<uint32_t>(buf_.size() - start_);
    std::memcpy(buf_.data() + start_, &len, sizeof(len));
    return *this;
  }
  uint32_t seq_;
  size_t start_ = 0;
  std::vector<unsigned char> buf_;
};

uint32_t ip(const char* text) {
  uint32_t v = 0;
  EXPECT_TRUE(HNetworkProtocolUtil::ParseIPString(text, v));
  return v;
}

TEST(HostRouteDump, KeepsOnlyDefaultUnicastRoutesOfTheMainTable) {
  DumpBuilder d(7);
  d.route().u32(RTA_OIF, 3).u32(RTA_GATEWAY, ip("10.77.0.1")).u32(RTA_PRIORITY, 100);
  d.route(24).u32(RTA_OIF, 3);                           // not a default route
  d.route(0, RT_TABLE_LOCAL).u32(RTA_OIF, 4);            // other table
  d.route(0, RT_TABLE_UNSPEC).u32(RTA_TABLE, 200).u32(RTA_OIF, 5);  // table in the attribute
  d.route(0, RT_TABLE_MAIN, RTN_BLACKHOLE).u32(RTA_OIF, 6);
  d.route().u32(RTA_OIF, 9);                             // default without gateway
  d.done();
  std::vector<HRouteEntry> routes;
  ASSERT_EQ(0, HRouteTable::parse_dump(d.bytes().data(), d.bytes().size(), 7, routes));
  ASSERT_EQ(2u, routes.size());
  EXPECT_EQ(3, routes[0].i_ifindex);
  EXPECT_EQ(ip("10.77.0.1"), routes[0].ul_gateway);
  EXPECT_EQ(100u, routes[0].ul_priority);
  EXPECT_EQ(9, routes[1].i_ifindex);
  EXPECT_EQ(0u, routes[1].ul_gateway);
}

TEST(HostRouteDump, MultipathRouteGivesOneEntryPerHop) {
  std::vector<unsigned char> hops;
  for (int i = 0; i < 2; ++i) {
    struct rtnexthop nh {};
    nh.rtnh_len = static_cast<unsigned short>(RTNH_LENGTH(RTA_LENGTH(4)));
    nh.rtnh_ifindex = 10 + i;
    struct rtattr a {};
    a.rta_len = RTA_LENGTH(4);
    a.rta_type = RTA_GATEWAY;
    uint32_t gw = ip(i == 0 ? "10.77.1.1" : "10.77.2.1");
    const unsigned char* parts[] = {reinterpret_cast<unsigned char*>(&nh), reinterpret_cast<unsigned char*>(&a),
                                    reinterpret_cast<unsigned char*>(&gw)};
    size_t sizes[] = {sizeof(nh), sizeof(a), sizeof(gw)};
    for (int k = 0; k < 3; ++k) hops.insert(hops.end(), parts[k], parts[k] + sizes[k]);
  }
  DumpBuilder d(1);
  d.route().attr(RTA_MULTIPATH, hops.data(), hops.size()).done();
  std::vector<HRouteEntry> routes;
  ASSERT_EQ(0, HRouteTable::parse_dump(d.bytes().data(), d.bytes().size(), 1, routes));
  ASSERT_EQ(2u, routes.size());
  EXPECT_EQ(10, routes[0].i_ifindex);
  EXPECT_EQ(ip("10.77.1.1"), routes[0].ul_gateway);
  EXPECT_EQ(11, routes[1].i_ifindex);
  EXPECT_EQ(ip("10.77.2.1"), routes[1].ul_gateway);
}

TEST(HostRouteDump, MalformedAttributesDropTheRouteOrTheGateway) {
  // An attribute that claims more than its message holds drops the route.
  DumpBuilder bad_attr(2);
  bad_attr.route().u32(RTA_OIF, 3).u32(RTA_GATEWAY, ip("10.77.0.1"));
  std::vector<unsigned char>& b = bad_attr.bytes();
  unsigned short huge = 200;
  std::memcpy(b.data() + b.size() - 8, &huge, sizeof(huge));
  std::vector<HRouteEntry> routes;
  EXPECT_EQ(1, HRouteTable::parse_dump(b.data(), b.size(), 2, routes));
  EXPECT_TRUE(routes.empty());

  // A gateway attribute too short for an address yields no gateway.
  DumpBuilder short_gw(3);
  uint16_t two = 1;
  short_gw.route().u32(RTA_OIF, 3).attr(RTA_GATEWAY, &two, sizeof(two));
  EXPECT_EQ(1, HRouteTable::parse_dump(short_gw.bytes().data(), short_gw.bytes().size(), 3, routes));
  ASSERT_EQ(1u, routes.size());
  EXPECT_EQ(0u, routes[0].ul_gateway);

}

TEST(HostRouteDump, ErrorAndForeignSequenceNumbers) {
  DumpBuilder other(99);
  other.route().u32(RTA_OIF, 3);
  std::vector<HRouteEntry> routes;
  EXPECT_EQ(1, HRouteTable::parse_dump(other.bytes().data(), other.bytes().size(), 5, routes));
  EXPECT_TRUE(routes.empty());

  std::vector<unsigned char> err(NLMSG_LENGTH(sizeof(struct nlmsgerr)));
  struct nlmsghdr h {};
  h.nlmsg_len = static_cast<uint32_t>(err.size());
  h.nlmsg_type = NLMSG_ERROR;
  h.nlmsg_seq = 5;
  std::memcpy(err.data(), &h, sizeof(h));
  EXPECT_EQ(-1, HRouteTable::parse_dump(err.data(), err.size(), 5, routes));
}

// ---- the host's adapters and main address

std::vector<std::pair<std::string, std::string>> proc_default_gateways() {
  std::vector<std::pair<std::string, std::string>> out;
  std::ifstream in("/proc/net/route");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, dest, gw, flags, refcnt, use, metric, mask;
    fields >> iface >> dest >> gw >> flags >> refcnt >> use >> metric >> mask;
    if (dest != "00000000" || mask != "00000000" || gw == "00000000") continue;
    uint32_t v = static_cast<uint32_t>(std::stoul(gw, nullptr, 16));  // host order of the kernel's bytes
    out.emplace_back(iface, HNetworkProtocolUtil::GetIPString(v, true));
  }
  return out;
}

TEST(HostNicInfo, LiveAnswerMatchesTheKernelsDefaultRoutes) {
  std::vector<HNetwrokAdapterNode> adapters;
  ASSERT_EQ(0, HNetworkUtil::GetNICInfo(adapters, true));
  bool has_lo = false;
  for (const auto& a : adapters) has_lo = has_lo || a.str_name == HString(L"lo");
  EXPECT_TRUE(has_lo);
  for (const auto& expected : proc_default_gateways()) {
    bool found = false;
    for (const auto& a : adapters)
      if (a.str_name == HString(expected.first))
        for (const auto& g : a.vt_gateway) found = found || g == HString(expected.second);
    EXPECT_TRUE(found) << expected.first << " via " << expected.second;
  }
  std::vector<HNetwrokAdapterNode> names_only;
  ASSERT_EQ(0, HNetworkUtil::GetNICInfo(names_only, false));
  ASSERT_EQ(adapters.size(), names_only.size());
  for (const auto& a : names_only) EXPECT_TRUE(a.vt_gateway.empty());
}

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

TEST(HostMainIpMac, NamedInterfaceUnknownInterfaceAndVirtualHost) {
  HSysInfoMgr& info = HSysInfoMgr::ins();
  HString ip_text = L"old", mac = L"old";
  info.set_interface(L"nosuchif77");
  EXPECT_EQ(-1, info.get_main_ip_mac(ip_text, mac));
  EXPECT_TRUE(ip_text.empty() && mac.empty()) << "both texts emptied";
  info.set_interface(L"lo");
  ASSERT_EQ(0, info.get_main_ip_mac(ip_text, mac));
  EXPECT_EQ(HString(L"127.0.0.1"), ip_text);
  EXPECT_EQ(HString(L"00:00:00:00:00:00"), mac);
  info.set_virtual(L"10.77.0.2", L"02:00:00:00:00:02");  // the virtual host wins
  ASSERT_EQ(0, info.get_main_ip_mac(ip_text, mac));
  EXPECT_EQ(HString(L"10.77.0.2"), ip_text);
  EXPECT_EQ(HString(L"02:00:00:00:00:02"), mac);
}

TEST(HostMainIpMac, DefaultRouteInterfaceWhenNoneIsNamed) {
  auto gateways = proc_default_gateways();
  if (gateways.empty()) GTEST_SKIP() << "no IPv4 default route here";
  HString ip_text, mac;
  ASSERT_EQ(0, HSysInfoMgr::ins().get_main_ip_mac(ip_text, mac));
  EXPECT_EQ(17, mac.length());
  uint32_t parsed = 0;
  EXPECT_TRUE(HNetworkProtocolUtil::ParseIPString(ip_text.get_str_direct(), parsed));
}

}  // namespace
