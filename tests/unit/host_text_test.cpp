// The base library's small pieces: language texts, address texts, the
// adapters' snapshot, where the agent lives.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/HEnvironment.h"
#include "host/HLanMgr.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"

namespace {

// ---- language texts

TEST(HostLanguage, OverridesUnknownKeysAndValuesThatLookLikePlaceholders) {
  HLanMgr& lan = HLanMgr::ins();
  lan.set_text(4, L"{mac} {mac} {who} {mac");
  std::map<HString, HString> values = {{L"mac", L"{who}"}, {L"who", L"x"}};
  // Filled once, left to right: a value is never read as a placeholder.
  EXPECT_EQ(HString(L"{who} {who} x {mac"), lan.get(4, values));
  EXPECT_EQ(HString(L"{mac} {mac} {who} {mac"), lan.get(4));
  lan.set_text(4, L"{a{mac}}");
  EXPECT_EQ(HString(L"{aM}"), lan.get(4, L"mac", L"M"));
}

// ---- addresses

TEST(HostAddresses, IpTextFromNetworkAndHostOrder) {
  const unsigned char wire[4] = {10, 77, 0, 254};
  uint32_t as_stored = 0;
  std::memcpy(&as_stored, wire, sizeof(wire));
  EXPECT_EQ("10.77.0.254", HNetworkProtocolUtil::GetIPString(as_stored, true));
  EXPECT_EQ("10.77.0.254", HNetworkProtocolUtil::GetIPString(0x0A4D00FEul, false));
  // Only the low 32 bits of a 64-bit long are an address.
  EXPECT_EQ("10.77.0.254", HNetworkProtocolUtil::GetIPString(0xFFFFFFFF00000000ul | as_stored, true));
}

TEST(HostAddresses, ArpBodyBecomesTheTextsThatTheHostCompares) {
  // ARP reply 10.77.0.1 is-at 02:00:00:00:00:66, to 10.77.0.2 / 02:00:00:00:00:02.
  const unsigned char body[ARP_BODY_LEN] = {0x00, 0x01, 0x08, 0x00, 6,    4,    0x00, 0x02, 0x02, 0x00,
                                            0x00, 0x00, 0x00, 0x66, 10,   77,   0,    1,    0x02, 0x00,
                                            0x00, 0x00, 0x00, 0x02, 10,   77,   0,    2};
  // The sender's texts, the target's address and the operation: the guard's
  // queue test (arpguard_guard_test) reads them from a body too.
  HArpNode node;
  ASSERT_EQ(0, HNetworkProtocolUtil::MakeArpNode(body, node));
  EXPECT_EQ("02:00:00:00:00:02", node.target_mac);

  unsigned char odd[ARP_BODY_LEN];
  std::memcpy(odd, body, sizeof(odd));
  odd[6] = 0x01;  // operation 0x0102 is neither request nor reply
  ASSERT_EQ(0, HNetworkProtocolUtil::MakeArpNode(odd, node));
  EXPECT_EQ(0, node.op);
  EXPECT_EQ(-1, HNetworkProtocolUtil::MakeArpNode(nullptr, node));
}

// ---- the adapters' snapshot

// The guard looks at the adapters' gateways for every changed MAC through a
// shared snapshot instead of a copy: it must say what GetNICInfo says, and a
// snapshot in use must not change under its reader.
HNetwrokAdapterNode adapter(const wchar_t* name, std::vector<HString> gateways) {
  HNetwrokAdapterNode node;
  node.str_name = name;
  node.vt_gateway = std::move(gateways);
  return node;
}

TEST(HostNicSnapshot, SaysWhatGetNicInfoSaysAndStaysAsItWasTaken) {
  HNetworkUtil::set_virtual_adapters({adapter(L"eth0", {L"10.77.0.1", L"10.77.0.2"}), adapter(L"eth1", {})});
  auto snapshot = HNetworkUtil::GetNICInfoShared();
  std::vector<HNetwrokAdapterNode> copied = {adapter(L"stale", {})};  // replaced, not added to
  EXPECT_EQ(0, HNetworkUtil::GetNICInfo(copied, true));
  ASSERT_EQ(copied.size(), snapshot->size());
  for (size_t i = 0; i < copied.size(); ++i) {
    EXPECT_EQ(copied[i].str_name, (*snapshot)[i].str_name);
    EXPECT_EQ(copied[i].vt_gateway, (*snapshot)[i].vt_gateway);
  }

  HNetworkUtil::set_virtual_adapters({adapter(L"eth9", {L"10.77.9.1"})});
  ASSERT_EQ(2u, snapshot->size());
  EXPECT_EQ(HString(L"10.77.0.2"), (*snapshot)[0].vt_gateway[1]);
  auto fresh = HNetworkUtil::GetNICInfoShared();
  ASSERT_EQ(1u, fresh->size());
  EXPECT_EQ(HString(L"10.77.9.1"), (*fresh)[0].vt_gateway[0]);

  // A copy without gateways leaves the shared list whole.
  std::vector<HNetwrokAdapterNode> names_only;
  HNetworkUtil::GetNICInfo(names_only, false);
  EXPECT_TRUE(names_only[0].vt_gateway.empty());
  EXPECT_EQ(1u, HNetworkUtil::GetNICInfoShared()->at(0).vt_gateway.size());
}

// ---- where the agent lives

TEST(HostEnvironment, HomeIsTheExecutablesFolderUntilSet) {
  HString exe_dir = HEnvironment::GetMyExeFullFilePath(false);
  EXPECT_NE(-1, HString(TIDEWELL_BIN_DIR).find(exe_dir, 0));
  EXPECT_EQ(exe_dir + HString(L"/"), HEnvironment::GetMyExeFullFilePath(true));
  HEnvironment::set_home(L"\\tmp\\velmora\\\\home\\");
  EXPECT_EQ(HString(L"/tmp/velmora/home"), HEnvironment::GetMyExeFullFilePath(false));
}

}  // namespace
