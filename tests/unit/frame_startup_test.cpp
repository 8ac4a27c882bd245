// The exports and every branch of the start-up, read back from the general
// log, the capture helper and the agent core.
#include <gtest/gtest.h>
#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <thread>

#include "arpguard/HGetSysArpTable.h"
#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTWPkgCallback.h"
#include "dhcpguard/HDhcpArpWatchCallback.h"
#include "dhcpguard/HDhcpAttackCallback.h"
#include "frame/HPTWGlobal.h"
#include "frame/Tidewell.h"
#include "host/HCustConfigMgr.h"
#include "host/HDataCenter.h"
#include "host/HEventCenter.h"
#include "host/HIEUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "host/HWinPCapHelper.h"
#include "platform/IpHelper.h"
#include "platform/MemoryArpTable.h"
#include "tests/support/FrameBuilder.h"
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
    // The guard's threads read these until the process ends.
    static platform::MemoryArpTable* table = new platform::MemoryArpTable();
    MIB_IPNETROW row{};
    row.dwIndex = 1;
    row.dwPhysAddrLen = 6;
    tidewell_test::Bytes gw_mac = tidewell_test::mac_bytes("02:00:00:00:00:01");
    std::copy(gw_mac.begin(), gw_mac.end(), row.bPhysAddr);
    row.dwAddr = inet_addr("10.77.0.1");
    row.dwType = MIB_IPNET_TYPE_DYNAMIC;
    table->set_rows({row});
    platform::set_arp_table_backend(table);
    HSysInfoMgr::ins().set_virtual(L"10.77.0.10", L"02:00:00:00:00:0a");
    HNetwrokAdapterNode adapter;
    adapter.str_name = L"eth0";
    adapter.vt_gateway = {HString(L"10.77.0.1")};
    HNetworkUtil::set_virtual_adapters({adapter});
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

  // The texts of the start-up's own lines, in order.
  std::vector<std::string> tidewell_lines() {
    std::vector<std::string> out;
    std::string log = frame_test::read_file(home.file("log/Velmora.log"));
    std::regex line_re(R"(\[\d\] \.\\Tidewell\(\d+\) ([^\n]*))");
    for (std::sregex_iterator it(log.begin(), log.end(), line_re), end; it != end; ++it) out.push_back((*it)[1]);
    return out;
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
    EXPECT_EQ(htons(0x0806), g.p_arp_callback->us_filter);
    EXPECT_EQ(htons(0x0800), g.p_dhcp_callback->us_filter);
    EXPECT_EQ(1, HWinPCapHelper::instance().b_load);
  }

  frame_test::TempHome home;
  // Outlives the test: threads of the plug-in may still report.
  frame_test::CoreRecorder& core = *new frame_test::CoreRecorder();
};

TEST_F(Startup, ExportsBeforeInitDoNothing) {
  policy(1, 1);
  EXPECT_EQ(0, orvoHeartbeat());
  EXPECT_EQ(0, orvoInit2());
  EXPECT_EQ(0u, core.calls());
  EXPECT_EQ(std::vector<std::string>{"Tidewell orvoInit2"}, tidewell_lines());
  EXPECT_FALSE(HWinPCapHelper::instance().is_started());
}

TEST_F(Startup, EmptyPolicyStillOpensStoreAndSendsEmptyReport) {
  HDataCenter::GetPolicy()->set_policies({}, {});
  EXPECT_EQ(0, init());
  ASSERT_EQ(1u, core.calls());
  EXPECT_TRUE(core.blocks()[0].empty());
  EXPECT_NE(std::string::npos, frame_test::read_file(home.file("log/Attack.log")).find(" start...\n"));
  expect_objects(false);
  EXPECT_EQ(0, orvoInit2());
}

// Which objects and callbacks each protection mode sets up; only the first
// policy record counts. Start-up runs once per process: one case each.
struct ModeCase {
  int arp, records;
  bool objects, arp_delivered, ipv4_delivered;
};
const ModeCase kModes[] = {
    {2, 1, true, true, false},
    {3, 1, true, false, false},
    {0, 2, false, false, false},
};
class StartupMode : public Startup, public ::testing::WithParamInterface<size_t> {};

TEST_P(StartupMode, RegistersItsCallbacksOnly) {
  const ModeCase& c = kModes[GetParam()];
  policy(c.arp, 0, c.records);
  init();
  if (c.objects) {
    expect_objects();
    EXPECT_EQ(c.arp_delivered ? 1 : 0, HWinPCapHelper::instance().b_arp);
    EXPECT_EQ(0, HWinPCapHelper::instance().b_dhcp);
  } else {
    expect_objects(false);
  }
  EXPECT_EQ(nullptr, HPTWGlobal::ins().p_dhcp_arp_callback);
  EXPECT_EQ(c.arp_delivered, delivered(arp_reply_to_host()));
  EXPECT_EQ(c.ipv4_delivered, delivered(ipv4_frame()));
}
INSTANTIATE_TEST_SUITE_P(Modes, StartupMode, ::testing::Range<size_t>(0, 3));

TEST_F(Startup, ArpAndDhcpRegisterBothCallbacks) {
  policy(1, 1);
  EXPECT_EQ(0, init());
  expect_objects();
  HWinPCapHelper& helper = HWinPCapHelper::instance();
  EXPECT_EQ(1, helper.b_arp);
  EXPECT_EQ(1, helper.b_dhcp);
  EXPECT_EQ(nullptr, HPTWGlobal::ins().p_dhcp_arp_callback);
  EXPECT_TRUE(delivered(ipv4_frame()));
  std::vector<unsigned char> short_arp = arp_reply_to_host();
  short_arp.resize(30);
  EXPECT_TRUE(delivered(short_arp));
  EXPECT_EQ(1u, HPTWGlobal::ins().p_arp_callback->dropped_short());

  // The guard thread runs: a claim addressed to the host leaves its queue.
  HThreadTidewell* guard = HPTWGlobal::ins().p_thread_tidewell;
  EXPECT_TRUE(delivered(arp_reply_to_host()));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (guard->queued() > 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(0u, guard->queued());
}

TEST_F(Startup, DhcpOnlyRegistersDhcpAndTheArpAnswerWatch) {
  policy(0, 1);
  EXPECT_EQ(0, init());
  expect_objects();
  HPTWGlobal& g = HPTWGlobal::ins();
  ASSERT_NE(nullptr, g.p_dhcp_arp_callback);
  EXPECT_EQ(htons(0x0806), g.p_dhcp_arp_callback->us_filter);
  EXPECT_EQ(0, HWinPCapHelper::instance().b_arp);
  EXPECT_EQ(1, HWinPCapHelper::instance().b_dhcp);
  EXPECT_TRUE(delivered(ipv4_frame()));
  // ARP frames reach the watch only, not the ARP callback.
  EXPECT_TRUE(delivered(arp_reply_to_host()));
  std::vector<unsigned char> short_arp = arp_reply_to_host();
  short_arp.resize(30);
  EXPECT_TRUE(delivered(short_arp));
  EXPECT_EQ(1u, g.p_dhcp_arp_callback->dropped_short());
  EXPECT_EQ(0u, g.p_arp_callback->dropped_short());
}

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
  std::vector<std::string> lines = tidewell_lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("Tidewell orvoInit", lines[lines.size() - 2]);
  EXPECT_EQ("Tidewell orvoInit again: already started, ignored", lines.back());
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
  EXPECT_EQ("HThreadTidewell start failed", tidewell_lines().back());
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
