// The exports and every branch of the start-up, read back from the general
// log, the capture helper and the agent core.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "arpguard/HGetSysArpTable.h"
#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "dhcpguard/HDhcpArpWatchCallback.h"
#include "frame/HPTWGlobal.h"
#include "frame/Tidewell.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HIEUtil.h"
#include "host/HWinPCapHelper.h"
#include "tests/support/FrameBuilder.h"
#include "tests/support/PluginEnv.h"
#include "tests/support/arpguard_support.h"
#include "tests/support/frame_support.h"

namespace {

// The plug-in's threads never stop: leave the process without running static
// destructors under them, once gtest has reported.
class QuickExit : public ::testing::Environment {
 public:
  void TearDown() override {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(::testing::UnitTest::GetInstance()->Passed() ? 0 : 1);
  }
};
::testing::Environment* const g_quick_exit = ::testing::AddGlobalTestEnvironment(new QuickExit);

// An ARP reply to the host from 10.77.0.33 (not a gateway), padded to 60.
std::vector<unsigned char> arp_reply_to_host() {
  tidewell_test::ArpFields f;
  f.eth_dst = f.target_mac = "02:00:00:00:00:0a";
  f.sender_mac = "02:00:00:00:00:33";
  f.sender_ip = "10.77.0.33";
  f.target_ip = "10.77.0.10";
  return tidewell_test::arp_frame(f);
}

// A TCP segment: IPv4, but nothing for the DHCP callback.
std::vector<unsigned char> ipv4_frame() {
  tidewell_test::FrameBuilder f(60);
  f.set_mac(0, "02:00:00:00:00:0a").set_mac(6, "02:00:00:00:00:33").set16(12, 0x0800);
  return f.set(14, {0x45, 0, 0, 46}).set(22, {64, 6}).bytes();
}

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    env.table().set_rows({arpguard_test::row("10.77.0.1", "02:00:00:00:00:01", MIB_IPNET_TYPE_DYNAMIC, 1)});
    HWinPCapHelper::instance().reset_for_test();
    HWinPCapHelper::instance().set_send_sink([](const unsigned char*, int) {});
  }

  void policy(int arp, int dhcp, int records = 1) {
    std::vector<AntiARPSpoofing_Local> vt;
    for (int i = 0; i < records; ++i) {
      AntiARPSpoofing_Local p;
      p.strPolicyID = HString("p" + std::to_string(i + 1));
      p.iStateMask = 1;
      p.iAntiARPSpoofing = i == 0 ? arp : 1;
      p.iAntiDHCPSpoofing = i == 0 ? dhcp : 1;
      vt.push_back(p);
    }
    HDataCenter::GetPolicy()->set_policies(vt, {});
  }

  int init() {
    wchar_t name[16];
    wchar_t name2[16];
    std::wmemset(name, L'#', 16);
    std::wmemset(name2, L'#', 16);
    int ret = orvoInit(name, name2, 0);
    EXPECT_STREQ(L"Tidewell", name);
    EXPECT_STREQ(L"Tidewell", name2);
    return ret;
  }

  // Whether a frame of that kind reaches any registered callback.
  bool delivered(const std::vector<unsigned char>& frame) {
    HWinPCapHelper& helper = HWinPCapHelper::instance();
    uint64_t before = helper.stats().frames_delivered;
    helper.deliver(frame.data(), static_cast<int>(frame.size()));
    return helper.stats().frames_delivered > before;
  }

  // The objects a protecting start-up makes, or (`made` false) none of them.
  void expect_objects(bool made = true) {
    HPTWGlobal& g = HPTWGlobal::ins();
    const void* objects[] = {g.p_thread_tidewell, g.p_arp_callback, g.p_dhcp_callback, g.p_test_thread,
                             g.p_get_sys_arp_table};
    for (const void* object : objects) ASSERT_EQ(made, object != nullptr);
    if (!made) {
      EXPECT_EQ(nullptr, g.p_dhcp_arp_callback);
      return;
    }
    EXPECT_EQ(1, HWinPCapHelper::instance().b_load);
  }

  // The host 10.77.0.10 behind the gateway 10.77.0.1; the policy is each test's.
  tidewell_test::PluginEnv env{[] {
    tidewell_test::PolicySetup setup;
    setup.host_ip = "10.77.0.10";
    setup.host_mac = "02:00:00:00:00:0a";
    setup.gateways = {"10.77.0.1"};
    return setup;
  }()};
  // Outlives the test: threads of the plug-in may still report.
  frame_test::CoreRecorder& core = *new frame_test::CoreRecorder();
};

TEST_F(Startup, ExportsBeforeInitDoNothing) {
  policy(1, 1);
  EXPECT_EQ(0, orvoHeartbeat());
  EXPECT_EQ(0, orvoInit2());
  EXPECT_EQ(0u, core.calls());
  EXPECT_FALSE(HWinPCapHelper::instance().is_started());
}

// Which objects and callbacks each protection mode sets up; only the first
// policy record counts, and an empty policy protects nothing. Every start
// opens the store and sends an empty report. Start-up runs once per
// process: one case each.
struct ModeCase {
  int arp, dhcp, records;
  bool objects, arp_delivered, ipv4_delivered;
  // DHCP protection alone: the ARP answers go to the DHCP guard's watch.
  bool arp_watch;
};
const ModeCase kModes[] = {
    {1, 1, 1, true, true, true, false},    {0, 1, 1, true, true, true, true},
    {2, 0, 1, true, true, false, false},   {3, 0, 1, true, false, false, false},
    {0, 0, 2, false, false, false, false}, {0, 0, 0, false, false, false, false},
};
class StartupMode : public Startup, public ::testing::WithParamInterface<size_t> {};

TEST_P(StartupMode, RegistersItsCallbacksOnly) {
  const ModeCase& c = kModes[GetParam()];
  policy(c.arp, c.dhcp, c.records);
  EXPECT_EQ(0, init());
  ASSERT_EQ(1u, core.calls());
  EXPECT_TRUE(core.blocks()[0].empty());
  expect_objects(c.objects);
  HPTWGlobal& g = HPTWGlobal::ins();
  EXPECT_EQ(c.arp_watch, g.p_dhcp_arp_callback != nullptr);
  if (c.objects) {
    EXPECT_EQ(c.arp_delivered && !c.arp_watch ? 1 : 0, HWinPCapHelper::instance().b_arp);
    EXPECT_EQ(c.dhcp, HWinPCapHelper::instance().b_dhcp);
  }
  EXPECT_EQ(c.arp_delivered, delivered(arp_reply_to_host()));
  EXPECT_EQ(c.ipv4_delivered, delivered(ipv4_frame()));
  if (!c.arp_delivered) return;
  // A short ARP frame is dropped by the one callback that takes ARP.
  std::vector<unsigned char> short_arp = arp_reply_to_host();
  short_arp.resize(30);
  EXPECT_TRUE(delivered(short_arp));
  EXPECT_EQ(c.arp_watch ? 0u : 1u, g.p_arp_callback->dropped_short());
  if (c.arp_watch) {
    EXPECT_EQ(1u, g.p_dhcp_arp_callback->dropped_short());
  }
}
INSTANTIATE_TEST_SUITE_P(Modes, StartupMode, ::testing::Range<size_t>(0, sizeof(kModes) / sizeof(kModes[0])));

// A second start would clear the policy under the running threads and start
// a second set of them: it is refused.
TEST_F(Startup, SecondInitIsIgnoredOnceRunning) {
  policy(1, 1);
  init();
  HPTWGlobal& g = HPTWGlobal::ins();
  HThreadTidewell* guard = g.p_thread_tidewell;
  HTWPkgCallback* arp = g.p_arp_callback;
  size_t calls = core.calls();
  policy(0, 0);
  EXPECT_EQ(0, init());
  EXPECT_EQ(guard, g.p_thread_tidewell);
  EXPECT_EQ(arp, g.p_arp_callback);
  EXPECT_EQ(1, g.vt_arp.at(0).iAntiARPSpoofing);
  EXPECT_EQ(calls, core.calls());
}

// A thread that cannot start must not free what the global state still
// names: the ARP callback, the guard and the refresher use it afterwards.
// The claims that the guard never judged are told the agent at the stop.
TEST_F(Startup, RegressionFailedThreadStartsLeaveNoDanglingPointer) {
  policy(1, 1);
  HIEUtil::Thread::fail_next_start_for_test(100);
  init();
  HIEUtil::Thread::fail_next_start_for_test(0);
  expect_objects();
  EXPECT_NE(std::string::npos, env.general_log().find("HThreadTidewell start failed"));
  HPTWGlobal& g = HPTWGlobal::ins();
  EXPECT_TRUE(delivered(arp_reply_to_host()));
  EXPECT_TRUE(delivered(arp_reply_to_host()));
  EXPECT_EQ(2u, g.p_thread_tidewell->queued());
  HEventCenter::ins().notify_stop();
  EXPECT_EQ(2u, HWinPCapHelper::instance().stats().claims_not_judged_at_stop);
  EXPECT_TRUE(g.p_thread_tidewell->run_pass());
  g.p_get_sys_arp_table->run_pass();
}

}  // namespace
