// The kernel neighbour table over rtnetlink: states become row types in one
// place, dumps are read with every length checked, requests are built as
// the kernel expects them.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/NetlinkArpTable.h"
#include "platform/NetlinkClient.h"
#include "platform/NetlinkIpv6.h"

using platform::NetlinkArpTable;

namespace {

typedef std::vector<unsigned char> Bytes;
const uint32_t kSeq = 4711;
// Where a neighbour message's first attribute (its destination) starts.
const size_t kFirstAttr = NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(struct ndmsg));

// Overwrites the bytes at `at` with `value` (a length or type made wrong).
template <typename T>
void patch(Bytes& bytes, size_t at, T value) {
  std::memcpy(&bytes[at], &value, sizeof(value));
}

struct Attr {
  uint16_t type;
  Bytes data;
};

// A message of `type`: its fixed header `head`, then the attributes, laid
// out as the client lays out its requests.
Bytes message(uint16_t type, uint32_t seq, const void* head, size_t head_len, const std::vector<Attr>& attrs = {}) {
  unsigned char buf[512];
  size_t len = platform::NetlinkClient::start_request(buf, sizeof(buf), type, NLM_F_MULTI, seq, head, head_len);
  for (const Attr& a : attrs) platform::NetlinkClient::add_attr(buf, sizeof(buf), len, a.type, a.data.data(), a.data.size());
  return Bytes(buf, buf + len);
}

const unsigned char kGatewayMac[6] = {0x02, 0x77, 0, 0, 0x01, 0x01};

struct Neigh {
  uint8_t family = AF_INET;
  int ifindex = 2;
  uint16_t state = NUD_REACHABLE;
  uint8_t flags = 0;
  const char* ip = "10.77.1.1";
  Bytes lladdr = Bytes(kGatewayMac, kGatewayMac + 6);
  size_t dst_len = 0;  // 0: the family's address size; no destination with `with_dst` false
  bool with_dst = true;
};

Bytes neigh(const Neigh& n, uint32_t seq = kSeq) {
  struct ndmsg ndm {};
  ndm.ndm_family = n.family;
  ndm.ndm_ifindex = n.ifindex;
  ndm.ndm_state = n.state;
  ndm.ndm_flags = n.flags;
  unsigned char in[16] = {};
  inet_pton(n.family, n.ip, in);
  size_t dst_len = n.dst_len ? n.dst_len : (n.family == AF_INET6 ? 16 : 4);
  std::vector<Attr> attrs;
  if (n.with_dst) attrs.push_back({NDA_DST, Bytes(in, in + dst_len)});
  if (!n.lladdr.empty()) attrs.push_back({NDA_LLADDR, n.lladdr});
  return message(RTM_NEWNEIGH, seq, &ndm, sizeof(ndm), attrs);
}

Bytes done(int error = 0) { return message(NLMSG_DONE, kSeq, &error, sizeof(error)); }

Bytes error_message(int error, uint32_t seq = kSeq) {
  struct nlmsgerr err {};
  err.error = error;
  return message(NLMSG_ERROR, seq, &err, sizeof(err));
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The first `len` bytes in an exactly sized heap copy, so that a read past
// the end is caught by the address sanitizer.
std::unique_ptr<unsigned char[]> exact_copy(const Bytes& bytes, size_t len) {
  std::unique_ptr<unsigned char[]> copy(new unsigned char[len ? len : 1]);
  if (len) std::memcpy(copy.get(), bytes.data(), len);
  return copy;
}

NetlinkArpTable::Chunk parse(const Bytes& chunk, std::vector<MIB_IPNETROW>& rows, int& error, size_t len) {
  return NetlinkArpTable::parse_dump(exact_copy(chunk, len).get(), len, kSeq, rows, error);
}

NetlinkArpTable::Chunk parse(const Bytes& chunk, std::vector<MIB_IPNETROW>& rows, int& error) {
  return parse(chunk, rows, error, chunk.size());
}

// Each state becomes its row type; the fields of a row are those that the
// set request's round trip below compares whole.
TEST(PlatformNetlinkTest, DumpRowsAreReadInOrderUntilDone) {
  Neigh a;
  Neigh b;
  b.state = NUD_PERMANENT;
  Neigh c;
  c.state = NUD_INCOMPLETE;
  c.lladdr.clear();
  Neigh d;
  d.state = NUD_NOARP;
  std::vector<MIB_IPNETROW> rows;
  int error = -1;
  Bytes last = concat({neigh(c), neigh(d), done()});
  // No cut of a chunk is read past its end or taken for the end of the dump.
  for (size_t len = 0; len < last.size(); ++len) {
    std::vector<MIB_IPNETROW> cut_rows;
    EXPECT_NE(NetlinkArpTable::Chunk::kDone, parse(last, cut_rows, error, len)) << len;
    EXPECT_LE(cut_rows.size(), 2u) << len;
  }
  EXPECT_EQ(NetlinkArpTable::Chunk::kMore, parse(concat({neigh(a), neigh(b)}), rows, error));
  EXPECT_EQ(NetlinkArpTable::Chunk::kDone, parse(last, rows, error));
  EXPECT_EQ(0, error);
  ASSERT_EQ(4u, rows.size());
  const DWORD types[] = {MIB_IPNET_TYPE_DYNAMIC, MIB_IPNET_TYPE_STATIC, MIB_IPNET_TYPE_INVALID, MIB_IPNET_TYPE_OTHER};
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(types[i], rows[i].dwType) << i;
  EXPECT_EQ(6u, rows[0].dwPhysAddrLen);
  EXPECT_EQ(0u, rows[2].dwPhysAddrLen);
}

// Other families, proxies, other requests' answers and rows without a
// 4-byte destination are skipped; an attribute running past its message
// drops that row only; a MAC longer than the row holds is no MAC.
TEST(PlatformNetlinkTest, ForeignMessagesAndUnusableRowsAreSkipped) {
  Neigh v6;
  v6.family = AF_INET6;
  Neigh proxy;
  proxy.flags = NTF_PROXY;
  Neigh no_dst;
  no_dst.with_dst = false;
  Neigh wide_dst;
  wide_dst.dst_len = 16;
  Bytes past_end = neigh(Neigh());
  patch<unsigned short>(past_end, kFirstAttr, 200);
  Neigh long_ll;
  long_ll.ip = "10.77.1.5";
  long_ll.lladdr = Bytes(20, 0xab);
  std::vector<MIB_IPNETROW> rows;
  int error = 0;
  Bytes chunk = concat({neigh(v6), neigh(proxy), neigh(no_dst), neigh(wide_dst), past_end, neigh(Neigh(), kSeq + 1),
                        message(NLMSG_NOOP, kSeq, nullptr, 0), neigh(long_ll), done()});
  EXPECT_EQ(NetlinkArpTable::Chunk::kDone, parse(chunk, rows, error));
  ASSERT_EQ(1u, rows.size());
  DWORD long_ll_ip = 0;
  inet_pton(AF_INET, long_ll.ip, &long_ll_ip);
  EXPECT_EQ(long_ll_ip, rows[0].dwAddr);
  EXPECT_EQ(0u, rows[0].dwPhysAddrLen);
}

// A broken framing, an error from the kernel or a dump past the cap ends
// the dump with an error; a dump is never cut short silently.
TEST(PlatformNetlinkTest, BrokenFramingKernelErrorsAndOverlongDumpsEndTheDump) {
  Bytes chunk = concat({neigh(Neigh()), done()});
  patch<uint32_t>(chunk, 0, static_cast<uint32_t>(chunk.size() + 4));
  std::vector<MIB_IPNETROW> rows;
  int error = 0;
  EXPECT_EQ(NetlinkArpTable::Chunk::kError, parse(chunk, rows, error));
  EXPECT_EQ(EPROTO, error);
  patch<uint32_t>(chunk, 0, 8);
  EXPECT_EQ(NetlinkArpTable::Chunk::kError, parse(chunk, rows, error));
  EXPECT_TRUE(rows.empty());

  EXPECT_EQ(NetlinkArpTable::Chunk::kError, parse(error_message(-EPERM), rows, error));
  EXPECT_EQ(EPERM, error);
  EXPECT_EQ(NetlinkArpTable::Chunk::kError, parse(done(-EINTR), rows, error));
  EXPECT_EQ(EINTR, error);

  rows.resize(NetlinkArpTable::kMaxRows);
  EXPECT_EQ(NetlinkArpTable::Chunk::kError, parse(neigh(Neigh()), rows, error));
  EXPECT_EQ(EOVERFLOW, error);
  EXPECT_EQ(NetlinkArpTable::kMaxRows, rows.size());
}

// Event datagrams carry any sequence number and deleted entries (rows of
// type invalid); a broken datagram keeps the rows read before its fault.
// Their lengths are checked by the same walk as a dump's.
TEST(PlatformNetlinkTest, NeighbourEventsAreReadAsDumpRowsWithDeletionsInvalid) {
  Neigh v6;
  v6.family = AF_INET6;
  Neigh no_ll;
  no_ll.state = NUD_FAILED;
  no_ll.lladdr.clear();
  Bytes gone = neigh(Neigh(), 2);
  patch<uint16_t>(gone, offsetof(struct nlmsghdr, nlmsg_type), RTM_DELNEIGH);
  Bytes datagram = concat({neigh(Neigh(), 0), neigh(v6, 1), neigh(no_ll, 0), gone});
  std::vector<MIB_IPNETROW> rows;
  EXPECT_TRUE(NetlinkArpTable::parse_events(datagram.data(), datagram.size(), rows));
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ(MIB_IPNET_TYPE_DYNAMIC, rows[0].dwType);
  EXPECT_EQ(6u, rows[0].dwPhysAddrLen);
  EXPECT_EQ(MIB_IPNET_TYPE_INVALID, rows[1].dwType);
  EXPECT_EQ(0u, rows[1].dwPhysAddrLen);
  EXPECT_EQ(MIB_IPNET_TYPE_INVALID, rows[2].dwType);
  EXPECT_EQ(6u, rows[2].dwPhysAddrLen);

  rows.clear();
  Bytes cut(datagram.begin(), datagram.begin() + neigh(Neigh()).size() + 8);  // a header cut short
  EXPECT_FALSE(NetlinkArpTable::parse_events(cut.data(), cut.size(), rows));
  EXPECT_EQ(1u, rows.size());
}

// The IPv6 guard's readers: a default route learned from an advertisement
// is a router, other routes are not; its gateway's neighbour entry gives
// the MAC; no cut of a message is read past its end or taken.
TEST(PlatformNetlinkTest, Ipv6RoutesAndNeighboursAreReadWithEveryLengthChecked) {
  const unsigned char gateway[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  auto route = [&](uint8_t protocol, uint8_t dst_len) {
    struct rtmsg rt {};
    rt.rtm_family = AF_INET6;
    rt.rtm_protocol = protocol;
    rt.rtm_dst_len = dst_len;
    rt.rtm_type = RTN_UNICAST;
    rt.rtm_table = RT_TABLE_MAIN;
    uint32_t oif = 3;
    return message(RTM_NEWROUTE, kSeq, &rt, sizeof(rt),
                   {{RTA_GATEWAY, Bytes(gateway, gateway + sizeof(gateway))},
                    {RTA_OIF, Bytes(reinterpret_cast<const unsigned char*>(&oif),
                                    reinterpret_cast<const unsigned char*>(&oif) + sizeof(oif))}});
  };
  Neigh entry;
  entry.family = AF_INET6;
  entry.ip = "fe80::1";
  entry.ifindex = 3;
  for (const Bytes& msg : {route(RTPROT_RA, 0), neigh(entry)}) {
    bool is_route = msg[offsetof(struct nlmsghdr, nlmsg_type)] == RTM_NEWROUTE;
    // The MAC's attribute ends two bytes before its padding.
    size_t needed = is_route ? msg.size() : msg.size() - 2;
    for (size_t len = 0; len <= msg.size(); ++len) {
      std::unique_ptr<unsigned char[]> copy = exact_copy(msg, len);
      platform::Ipv6Router row;
      bool read = is_route ? platform::netlink_ipv6::read_ra_route(copy.get(), len, row)
                           : platform::netlink_ipv6::read_neighbour(copy.get(), len, row);
      // A neighbour entry cut before its MAC is still an entry, without one.
      bool whole = read && (is_route || row.b_has_mac);
      EXPECT_EQ(len >= needed, whole) << len;
      if (!whole) continue;
      EXPECT_EQ(0, std::memcmp(row.address.data(), gateway, sizeof(gateway)));
      EXPECT_EQ(3, row.i_ifindex);
    }
  }
  platform::Ipv6Router row;
  Bytes other = route(RTPROT_STATIC, 0);
  EXPECT_FALSE(platform::netlink_ipv6::read_ra_route(other.data(), other.size(), row)) << "not from an advertisement";
  Bytes prefix = route(RTPROT_RA, 64);
  EXPECT_FALSE(platform::netlink_ipv6::read_ra_route(prefix.data(), prefix.size(), row)) << "not a default route";
  entry.state = NUD_INCOMPLETE;
  Bytes unresolved = neigh(entry);
  ASSERT_TRUE(platform::netlink_ipv6::read_neighbour(unresolved.data(), unresolved.size(), row));
  EXPECT_FALSE(row.b_has_mac) << "an entry being resolved holds no MAC";
}

TEST(PlatformNetlinkTest, AckIsFoundByItsSequenceNumber) {
  int error = -1;
  Bytes other = error_message(0, kSeq + 1);
  EXPECT_FALSE(NetlinkArpTable::parse_ack(other.data(), other.size(), kSeq, error));
  Bytes ack = error_message(0);
  EXPECT_TRUE(NetlinkArpTable::parse_ack(ack.data(), ack.size(), kSeq, error));
  EXPECT_EQ(0, error);
  Bytes nack = error_message(-ENODEV);
  EXPECT_TRUE(NetlinkArpTable::parse_ack(nack.data(), nack.size(), kSeq, error));
  EXPECT_EQ(ENODEV, error);
}

// A permanent entry on the row's interface, which a dump reads back as the
// same row; rows it cannot express, or a buffer too small, give nothing.
// The kernel's own answers to dumps and requests are the lab tests' (the
// ARP guard's binding).
TEST(PlatformNetlinkTest, SetRequestMakesAPermanentEntryOnTheRowsInterface) {
  MIB_IPNETROW row{};
  row.dwIndex = 9;
  inet_pton(AF_INET, "10.77.1.1", &row.dwAddr);
  row.dwPhysAddrLen = 6;
  std::memcpy(row.bPhysAddr, kGatewayMac, 6);
  row.dwType = MIB_IPNET_TYPE_STATIC;
  unsigned char buf[128];
  size_t len = NetlinkArpTable::build_set_request(row, kSeq, buf, sizeof(buf));
  ASSERT_GT(len, 0u);
  std::vector<MIB_IPNETROW> rows;
  int error = 0;
  parse(Bytes(buf, buf + len), rows, error);
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ(0, std::memcmp(&row, &rows[0], sizeof(row)));

  EXPECT_EQ(0u, NetlinkArpTable::build_set_request(row, kSeq, buf, 40));
  MIB_IPNETROW invalid = row, no_mac = row, no_interface = row;
  invalid.dwType = MIB_IPNET_TYPE_INVALID;
  no_mac.dwPhysAddrLen = 0;
  no_interface.dwIndex = 0;
  for (const MIB_IPNETROW& bad : {invalid, no_mac, no_interface}) {
    EXPECT_EQ(0u, NetlinkArpTable::build_set_request(bad, kSeq, buf, sizeof(buf)));
  }
}

}  // namespace
