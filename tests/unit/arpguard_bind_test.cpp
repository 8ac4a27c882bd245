// Static binding of one address when the table changes under it, and the
// replay's virtual table taking the "arp -s" command. (Binding in place, the
// command and a refused row are shown through the guard in
// arpguard_guard_test and in the lab.)
#include <gtest/gtest.h>

#include <cstring>

#include "arpguard/ArpBind.h"
#include "platform/ArpCommand.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

const DWORD kStatic = MIB_IPNET_TYPE_STATIC;
const DWORD kDynamic = MIB_IPNET_TYPE_DYNAMIC;

void bind(const std::string& ip, const std::string& mac) {
  HBindAttempt attempt = bind_ip_mac(HString(ip), HString(mac), kStatic);
  if (attempt.process.hProcess) CloseHandle(attempt.process.hProcess);
  if (attempt.process.hThread) CloseHandle(attempt.process.hThread);
}

TEST(GuardBindingTest, TableGrownBetweenSizeQueryAndReadFallsBackToTheCommand) {
  GuardEnv env;
  ProcessRecorder processes;
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
  bind(kGatewayIp, kGatewayMac);
  bind(kOtherIp, kSpooferMac);
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
  EXPECT_EQ(6u, rows[0].dwPhysAddrLen);
  EXPECT_EQ(kSpooferMac, mac_of(rows[1]));
  EXPECT_EQ(kStatic, rows[1].dwType);
  platform::set_process_launcher(nullptr);
  platform::set_arp_table_backend(nullptr);
}

}  // namespace
