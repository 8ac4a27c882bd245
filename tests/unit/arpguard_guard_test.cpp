// How the guard judges one ARP claim: learning, ignoring, validating against
// the binding list, binding, reporting, and handing changes to the probe
// thread; and how its queue holds up under a flood.
#include <gtest/gtest.h>

#include <string>

#include "arpguard/HArpAttackFilter.h"
#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTestThread.h"
#include "frame/HPTWGlobal.h"
#include "host/HWinPCapHelper.h"
#include "neighwatch/HNeighbourWatch.h"
#include "tests/support/MacChange.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

const DWORD kStatic = MIB_IPNET_TYPE_STATIC;
const DWORD kDynamic = MIB_IPNET_TYPE_DYNAMIC;

std::string desc(const ARPSpoofingReport_Local& report, const wchar_t* key) {
  auto found = report.mapDesc.find(key);
  return found == report.mapDesc.end() ? std::string("<none>") : narrow(found->second);
}

class GuardTest : public ::testing::Test, public GuardRig {
 protected:
  explicit GuardTest(const Policy& policy = Policy()) : GuardRig(policy, 1000) {}

  void judge(const std::string& ip, const std::string& mac) { guard->check_arp_node(claim(ip, mac)); }
  MIB_IPNETROW table_row(const std::string& ip) {
    for (const MIB_IPNETROW& r : env.table().rows()) {
      if (ip_of(r) == ip) return r;
    }
    return MIB_IPNETROW{};
  }
};

// Mode 2, binding by the list.
Policy bind_policy(int32_t auto_bind, const std::string& bind_list) {
  Policy p;
  p.auto_bind = auto_bind;
  p.bind_list = bind_list;
  return p;
}

// ---- claims the guard settles without the policy ----

TEST_F(GuardTest, ClaimAnsweringAPendingProbeEndsWithATableRead) {
  probe->add_probe(tidewell_test::mac_change(kGatewayIp, kGatewayMac, kSpooferMac));
  probe->run_pass();  // the request goes out
  env.table().set_rows({row(kGateway2Ip, kGateway2Mac, kStatic, 4)});
  uint32_t reads = env.table().read_count();

  judge(kGatewayIp, kGatewayMac);
  EXPECT_EQ(0u, probe->pending());
  EXPECT_EQ(reads + 2, env.table().read_count());  // size query and read
  EXPECT_TRUE(guard->is_static(HString(kGateway2Ip)));
  EXPECT_EQ(kGatewayMac, learned(kGatewayIp));
  EXPECT_TRUE(core.ids().empty());  // mode 2: the probe thread reports nothing
}

TEST_F(GuardTest, ChangedGatewayWithoutProbeThreadOrPolicyIsNoCrash) {
  HPTWGlobal::ins().p_test_thread = nullptr;
  HPTWGlobal::ins().vt_arp.clear();
  judge(kGatewayIp, kSpooferMac);
  EXPECT_EQ(kGatewayMac, learned(kGatewayIp));
  EXPECT_TRUE(core.ids().empty());
  EXPECT_EQ(1u, HArpAttackFilter::ins().recent_count());  // judged as a suspected change
  HPTWGlobal::ins().p_test_thread = probe;
}

// ---- protection by binding (mode 2) ----

class GuardBindTest : public GuardTest {
 protected:
  GuardBindTest() : GuardTest(bind_policy(1, "10.77.1.1-02:77:00:00:01:01 10.77.2.1-02:77:00:00:02:01")) {}
};

// An "arp -s" that never ends: one process for a flood of claims, killed
// past its deadline, and the binding reported as failed.
TEST_F(GuardBindTest, HangingArpCommandRunsOnceAndIsKilledPastItsDeadline) {
  env.table().set_rows({});
  guard->set_ip_mac(HString(kGatewayIp), HString(kGatewayMac));
  processes.hang(true);
  for (int i = 0; i < 300; ++i) guard->push_arp_node(claim(kGatewayIp, kSpooferMac));
  while (guard->run_pass()) {
  }
  ticks.advance(HThreadTidewell::kBindCommandMs - 1);
  guard->run_pass();
  EXPECT_EQ(1u, processes.launches().size());
  EXPECT_TRUE(core.ids().empty());
  ticks.advance(1);
  guard->run_pass();
  EXPECT_EQ(std::vector<std::string>{"AntiARP_RP_ARP_BIND_FAIL"}, core.ids());
  EXPECT_EQ(0u, guard->bind_commands_running());
  EXPECT_EQ(1u, count_of(env.general_log(), "failed: arp -s did not end within 5000 ms and was killed"));
}

// A changed gateway entry in the kernel's table is one claim, as a reply to
// this host would be; an entry that holds the learned MAC, the MAC the last
// event showed, no MAC, or a static binding is none (the guard's own binding
// must not come back as a claim).
TEST_F(GuardBindTest, NeighbourEventOfAChangedGatewayIsOneClaimJudgedAsAFrames) {
  HNeighbourWatch watch(*guard, HString(kHostIp), HString(kHostMac));
  MIB_IPNETROW unresolved = row(kGatewayIp, kSpooferMac, MIB_IPNET_TYPE_INVALID);
  unresolved.dwPhysAddrLen = 0;
  watch.take_rows({row(kGatewayIp, kGatewayMac, kDynamic), row(kOtherIp, kSpooferMac, kDynamic),
                   row(kGatewayIp, kSpooferMac, kStatic), unresolved});
  EXPECT_EQ(0u, guard->queued());

  watch.take_rows({row(kGatewayIp, kSpooferMac, kDynamic), row(kGatewayIp, kSpooferMac, kDynamic)});
  ASSERT_EQ(1u, guard->queued());
  HArpNode node = guard->pop_arp_node();
  EXPECT_EQ(claim(kGatewayIp, kSpooferMac), node);

  guard->push_arp_node(node);
  EXPECT_TRUE(guard->run_pass());
  EXPECT_EQ(std::vector<std::string>{"AntiARP_RP_ARP_BIND"}, core.ids());
  EXPECT_EQ(kStatic, table_row(kGatewayIp).dwType);
  EXPECT_EQ(3u, table_row(kGatewayIp).dwIndex) << "bound in place, on the row's interface";
  watch.take_rows({table_row(kGatewayIp)});  // the binding, as the kernel announces it
  EXPECT_EQ(0u, guard->queued());
  EXPECT_EQ(1u, watch.claims());
}

// What the list gives for a spoofed gateway: a list without a usable pair
// fails to bind, a pair behind look-alikes ("10.77.1.1-" also stands inside
// "110.77.1.1-") binds; without automatic binding the gateway is reported as
// not bound and probed.
struct ListCase {
  const char* name;
  int32_t auto_bind;
  const char* list;
  const char* id;        // of the one report
  const char* log_line;  // logged once, if any
};
void PrintTo(const ListCase& c, std::ostream* out) { *out << c.name; }
class GuardListTest : public GuardTest, public ::testing::WithParamInterface<ListCase> {
 protected:
  GuardListTest() : GuardTest(bind_policy(GetParam().auto_bind, GetParam().list)) {}
};

TEST_P(GuardListTest, SpoofedGatewayIsBoundOnlyToAUsablePairOfTheList) {
  const ListCase& c = GetParam();
  judge(kGatewayIp, kSpooferMac);
  std::vector<ARPSpoofingReport_Local> reports = core.reports();
  ASSERT_EQ(1u, reports.size());
  EXPECT_EQ(c.id, narrow(reports[0].str_desc));
  EXPECT_EQ(kSpooferMac, desc(reports[0], L"mac"));
  const bool bound = std::string(c.id) == "AntiARP_RP_ARP_BIND";
  EXPECT_EQ(bound ? 3u : 1u, reports[0].mapDesc.size());
  EXPECT_EQ(bound ? kGatewayMac : "<none>", desc(reports[0], L"macb"));
  EXPECT_EQ(bound ? 1u : 0u, env.table().set_count());
  EXPECT_EQ(kGatewayMac, mac_of(table_row(kGatewayIp)));
  EXPECT_TRUE(processes.launches().empty());
  EXPECT_EQ(c.auto_bind ? 0u : 1u, probe->pending());
  if (c.log_line) {
    EXPECT_EQ(1u, count_of(env.general_log(), c.log_line));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, GuardListTest,
    ::testing::Values(
        ListCase{"Missing", 1, "10.77.2.1-02:77:00:00:02:01", "AntiARP_RP_ARP_BIND_FAIL",
                 "Want to bind 10.77.1.1-, but can not find it in mac list 10.77.2.1-02:77:00:00:02:01"},
        ListCase{"NotAMac", 1, "10.77.1.1-02:77:00:00:01:0g;", "AntiARP_RP_ARP_BIND_FAIL",
                 "Configured MAC of 10.77.1.1 is not a MAC: 02:77:00:00:01:0g"},
        ListCase{"PairBehindOtherGatewaysPairs", 1,
                 "110.77.1.1-02:77:00:00:0e:0e,110.77.1.1-02:77:00:00:0a:0a,10.77.1.1-02:77:00:00:01:01",
                 "AntiARP_RP_ARP_BIND", nullptr},
        ListCase{"NoAutoBind", 0, "10.77.1.1-02:77:00:00:01:01", "AntiARP_RP_ARP_NO_BIND", nullptr}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

// ---- the queue ----

// The guard's queue takes ARP bodies from the capture callback and nodes in
// text form from elsewhere, in one order. (The texts of a body are checked
// whole in arpwatch_callback_test.)
// The 28-byte ARP body of a reply from 10.77.1.<n>, 02:77:01:00:00:<n>.
std::vector<unsigned char> body(unsigned char n) {
  return {0, 1, 8, 0, 6, 4, 0, 2,  2, 0x77, 1, 0, 0, n, 10, 77, 1, n,
          2, 0x77, 0, 0, 0, 0x0a, 10, 77, 0, 10};
}

TEST_F(GuardTest, BodiesAndTextNodesLeaveInTheOrderTheyCame) {
  guard->push_arp_body(body(1).data());
  HArpNode odd = claim(kOtherIp, "02:77:00:00:00:AA");  // text kept as given
  guard->push_arp_node(odd);
  guard->push_arp_body(body(3).data());
  ASSERT_EQ(3u, guard->queued());

  EXPECT_EQ("10.77.1.1", guard->pop_arp_node().sender_ip);
  HArpNode second = guard->pop_arp_node();
  EXPECT_EQ(odd.sender_ip, second.sender_ip);
  EXPECT_EQ("02:77:00:00:00:AA", second.sender_mac);
  EXPECT_EQ("10.77.1.3", guard->pop_arp_node().sender_ip);
  EXPECT_EQ(0u, guard->queued());
}

// 10.77.1.<n>: addresses of one /24 fill shares of their own.
std::string segment_ip(size_t n) { return "10.77.1." + std::to_string(n); }

// A flood claiming one address fills only that address's share, and a
// genuine claim for another address still gets in and is judged; a flood
// over many addresses fills the queue, whose newest claims are dropped. Both
// count their drops where the agent's summary sees them.
TEST_F(GuardTest, FloodsFillOneAddressesShareOrTheWholeQueueAndDropTheNewest) {
  HWinPCapHelper::instance().reset_for_test();
  std::vector<unsigned char> b = body(9);
  for (size_t i = 0; i < HThreadTidewell::kMaxQueuedNodes; ++i) guard->push_arp_body(b.data());
  guard->push_arp_node(claim(kOtherIp, kOtherMac));
  const uint64_t dropped = HThreadTidewell::kMaxQueuedNodes - HThreadTidewell::kMaxQueuedPerAddress;
  EXPECT_EQ(HThreadTidewell::kMaxQueuedPerAddress + 1, guard->queued());
  EXPECT_EQ(dropped, guard->dropped());
  EXPECT_EQ(dropped, HWinPCapHelper::instance().stats().frames_queue_dropped);
  EXPECT_EQ(1u, count_of(env.general_log(), "share of one address full"));
  while (guard->run_pass()) {
  }
  EXPECT_EQ(kOtherMac, learned(kOtherIp));

  ticks.advance(1000);  // drops are logged at most once a second
  const size_t addresses = HThreadTidewell::kMaxQueuedNodes / HThreadTidewell::kMaxQueuedPerAddress * 2;
  for (size_t i = 0; i < HThreadTidewell::kMaxQueuedNodes; ++i) {
    guard->push_arp_node(claim(segment_ip(i % addresses), kOtherMac));
  }
  EXPECT_EQ(dropped, guard->dropped());
  for (int i = 0; i < 51; ++i) guard->push_arp_node(claim(kOtherIp, kSpooferMac));
  EXPECT_EQ(HThreadTidewell::kMaxQueuedNodes, guard->queued());
  EXPECT_EQ(dropped + 51, guard->dropped());
  EXPECT_EQ(dropped + 51, HWinPCapHelper::instance().stats().frames_queue_dropped);
  EXPECT_EQ(1u, count_of(env.general_log(), "queue full"));
  while (guard->run_pass()) {
  }
  guard->push_arp_node(claim(kOtherIp, kOtherMac));
  EXPECT_EQ(1u, guard->queued()) << "room again";
}

}  // namespace
