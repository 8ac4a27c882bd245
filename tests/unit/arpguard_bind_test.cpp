// Static binding of one address: in place on the row's interface when the
// table has a row, otherwise one hidden "arp -s" command.
#include <gtest/gtest.h>

#include <cstring>

#include "arpguard/ArpBind.h"
#include "platform/ArpCommand.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

const DWORD kStatic = MIB_IPNET_TYPE_STATIC;
const DWORD kDynamic = MIB_IPNET_TYPE_DYNAMIC;
const DWORD kInvalid = MIB_IPNET_TYPE_INVALID;

class GuardBindingTest : public ::testing::Test {
 protected:
  HBindAttempt bind(const std::string& ip, const std::string& mac) {
    HBindAttempt attempt = bind_ip_mac(HString(ip), HString(mac), kStatic);
    if (attempt.process.hProcess) CloseHandle(attempt.process.hProcess);
    if (attempt.process.hThread) CloseHandle(attempt.process.hThread);
    return attempt;
  }

  GuardEnv env;
  ProcessRecorder processes;
  DebugRecorder debug;
};

TEST_F(GuardBindingTest, ExistingDynamicRowIsMadeStaticInPlace) {
  env.table().set_rows({row(kOtherIp, kOtherMac, kDynamic, 2), row(kGatewayIp, kSpooferMac, kDynamic, 5)});
  EXPECT_FALSE(is_bound(HString(kGatewayIp), HString(kGatewayMac)));
  EXPECT_EQ(HBindAttempt::Kind::kSetInPlace, bind(kGatewayIp, kGatewayMac).kind);
  EXPECT_TRUE(is_bound(HString(kGatewayIp), HString(kGatewayMac)));
  EXPECT_FALSE(is_bound(HString(kGatewayIp), HString(kSpooferMac)));
  std::vector<MIB_IPNETROW> rows = env.table().rows();
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ(kGatewayIp, ip_of(rows[1]));
  EXPECT_EQ(kGatewayMac, mac_of(rows[1]));
  EXPECT_EQ(kStatic, rows[1].dwType);
  EXPECT_EQ(5u, rows[1].dwIndex);
  EXPECT_EQ(6u, rows[1].dwPhysAddrLen);
  EXPECT_EQ(kDynamic, rows[0].dwType);
  EXPECT_TRUE(processes.launches().empty());
}

// Without CAP_NET_ADMIN the kernel refuses the row: the attempt says so
// instead of passing for a binding.
TEST_F(GuardBindingTest, RefusedRowIsAFailedAttemptWithItsCause) {
  env.table().set_rows({row(kGatewayIp, kSpooferMac, kDynamic, 5)});
  env.table().set_set_error(ERROR_ACCESS_DENIED);
  HBindAttempt attempt = bind(kGatewayIp, kGatewayMac);
  EXPECT_EQ(HBindAttempt::Kind::kFailed, attempt.kind);
  EXPECT_EQ("SetIpNetEntry ret 5 (access denied: no right to change the ARP table)", narrow(attempt.str_cause));
  EXPECT_FALSE(is_bound(HString(kGatewayIp), HString(kGatewayMac)));
  EXPECT_TRUE(processes.launches().empty());
}

TEST_F(GuardBindingTest, AddressWithoutRowStartsExactlyOneHiddenArpCommand) {
  env.table().set_rows({row(kOtherIp, kOtherMac, kDynamic, 2)});
  EXPECT_EQ(HBindAttempt::Kind::kCommandStarted, bind(kGatewayIp, kGatewayMac).kind);
  std::vector<platform::ProcessLaunch> launches = processes.launches();
  ASSERT_EQ(1u, launches.size());
  // net-tools' arp refuses dashes: the colons stay on this platform.
  ASSERT_FALSE(platform::arp_command_uses_dashes());
  EXPECT_EQ(L"arp -s 10.77.1.1 02:77:00:00:01:01", launches[0].command_line);
  EXPECT_TRUE(launches[0].application.empty());
  EXPECT_TRUE(launches[0].hidden);
  EXPECT_EQ(L"/usr/sbin", launches[0].current_directory);
  EXPECT_EQ(1u, debug.count_containing("arp -s 10.77.1.1 02:77:00:00:01:01"));
  EXPECT_EQ(0u, env.table().set_count());
}

TEST_F(GuardBindingTest, TableGrownBetweenSizeQueryAndReadFallsBackToTheCommand) {
  env.table().set_rows({row(kGatewayIp, kSpooferMac, kDynamic, 5)});
  int reads = 0;
  env.table().set_read_hook([&reads](std::vector<MIB_IPNETROW>& rows) {
    if (++reads == 2) rows.push_back(row(kOtherIp, kOtherMac, kDynamic, 2));
  });
  bind(kGatewayIp, kGatewayMac);
  env.table().set_read_hook(nullptr);
  EXPECT_EQ(1u, processes.launches().size());
  EXPECT_EQ(0u, env.table().set_count());
}

// Replay: the command is applied to the in-memory table, no process starts.
TEST(GuardReplayTableTest, ArpCommandLandsInTheVirtualTable) {
  GuardEnv env;
  platform::install_virtual_arp_table({row(kOtherIp, kOtherMac, kDynamic, 9)});
  for (HBindAttempt attempt : {bind_ip_mac(HString(kGatewayIp), HString(kGatewayMac), kStatic),
                               bind_ip_mac(HString(kOtherIp), HString(kSpooferMac), kStatic)}) {
    if (attempt.process.hProcess) CloseHandle(attempt.process.hProcess);
    if (attempt.process.hThread) CloseHandle(attempt.process.hThread);
  }
  ULONG size = 0;
  ASSERT_EQ(ERROR_INSUFFICIENT_BUFFER, GetIpNetTable(nullptr, &size, FALSE));
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  ASSERT_EQ(NO_ERROR, GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.data()), &size, TRUE));
  ASSERT_EQ(2u, buffer[0]);
  MIB_IPNETROW rows[2];
  std::memcpy(rows, reinterpret_cast<const unsigned char*>(buffer.data()) + 4, sizeof(rows));
  EXPECT_EQ(kGatewayIp, ip_of(rows[0]));  // sorted by address
  EXPECT_EQ(kGatewayMac, mac_of(rows[0]));
  EXPECT_EQ(kStatic, rows[0].dwType);
  EXPECT_EQ(9u, rows[0].dwIndex);
  EXPECT_EQ(kSpooferMac, mac_of(rows[1]));
  EXPECT_EQ(kStatic, rows[1].dwType);
  platform::set_process_launcher(nullptr);
  platform::set_arp_table_backend(nullptr);
}

}  // namespace
