// The guard's two views of the system ARP table: what the first read learns,
// what later reads change, and the reads that must be refused.
#include <gtest/gtest.h>

#include "arpguard/HGetSysArpTable.h"
#include "arpguard/HThreadTidewell.h"
#include "frame/HPTWGlobal.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

const DWORD kStatic = MIB_IPNET_TYPE_STATIC;
const DWORD kDynamic = MIB_IPNET_TYPE_DYNAMIC;
const DWORD kInvalid = MIB_IPNET_TYPE_INVALID;
const DWORD kOther = MIB_IPNET_TYPE_OTHER;

class GuardSnapshotTest : public ::testing::Test {
 protected:
  std::string learned(const std::string& ip) {
    HString mac;
    return guard().learned_mac(HString(ip), mac) ? narrow(mac) : std::string("<none>");
  }
  bool is_static(const std::string& ip) { return guard().is_static(HString(ip)); }
  HThreadTidewell& guard() { return *HPTWGlobal::ins().p_thread_tidewell; }

  GuardEnv env;
};

// The first read learns dynamic rows and collects static ones, never an
// invalid or other row. On later reads a row turning static leaves the map
// for the set, and leaves the set again when it turns dynamic; an invalid or
// other row forgets the learned MAC, a vanished row keeps it.
TEST_F(GuardSnapshotTest, ReadsMoveRowsBetweenMapAndSet) {
  env.table().set_rows({row(kGatewayIp, kGatewayMac, kDynamic), row(kGateway2Ip, kGateway2Mac, kDynamic),
                        row(kOtherIp, kOtherMac, kDynamic), row("10.77.1.30", "02:77:00:00:01:30", kStatic),
                        row("10.77.1.31", "02:77:00:00:01:31", kInvalid), row("10.77.1.32", "", kOther)});
  env.make_guard();
  EXPECT_EQ(kGatewayMac, learned(kGatewayIp));
  EXPECT_FALSE(is_static(kGatewayIp));
  EXPECT_TRUE(is_static("10.77.1.30"));
  EXPECT_EQ("<none>", learned("10.77.1.30"));
  EXPECT_EQ("<none>", learned("10.77.1.31"));
  EXPECT_EQ("<none>", learned("10.77.1.32"));

  env.table().set_rows({row(kGatewayIp, kGatewayMac, kStatic), row(kGateway2Ip, "", kInvalid)});
  guard().BuildMapAndSet(false);
  EXPECT_TRUE(is_static(kGatewayIp));
  EXPECT_EQ("<none>", learned(kGatewayIp));
  EXPECT_EQ("<none>", learned(kGateway2Ip));
  EXPECT_EQ(kOtherMac, learned(kOtherIp));

  env.table().set_rows({row(kGatewayIp, kGatewayMac, kDynamic), row(kOtherIp, "", kOther)});
  guard().BuildMapAndSet(false);
  EXPECT_FALSE(is_static(kGatewayIp));
  EXPECT_EQ("<none>", learned(kOtherIp));
}

TEST_F(GuardSnapshotTest, OneAddressOnSeveralInterfacesActsRowByRow) {
  // Static on one interface, dynamic on the next: in the set and, when
  // learning, back in the map.
  env.table().set_rows({row(kGatewayIp, kGatewayMac, kStatic, 3), row(kGatewayIp, kSpooferMac, kDynamic, 4)});
  env.make_guard();
  EXPECT_TRUE(is_static(kGatewayIp));
  EXPECT_EQ(kSpooferMac, learned(kGatewayIp));
  // The other order: the static row comes last and removes it.
  env.table().set_rows({row(kGatewayIp, kSpooferMac, kDynamic, 4), row(kGatewayIp, kGatewayMac, kStatic, 3)});
  guard().BuildMapAndSet(true);
  EXPECT_TRUE(is_static(kGatewayIp));
  EXPECT_EQ("<none>", learned(kGatewayIp));
}

TEST_F(GuardSnapshotTest, TableOf799RowsIsReadAnd800IsRefused) {
  std::vector<MIB_IPNETROW> rows = numbered_rows(798, kDynamic);
  rows.push_back(row(kGatewayIp, kGatewayMac, kStatic));
  env.table().set_rows(rows);
  env.make_guard();
  EXPECT_TRUE(is_static(kGatewayIp));
  EXPECT_EQ("02:78:00:00:03:2f", learned("10.78.3.47"));

  rows.push_back(row(kGateway2Ip, kGateway2Mac, kStatic));
  env.table().set_rows(rows);
  guard().BuildMapAndSet(false);
  EXPECT_FALSE(is_static(kGatewayIp));
  EXPECT_FALSE(is_static(kGateway2Ip));
  // Nothing of the refused table was applied, and the map is kept.
  EXPECT_EQ("02:78:00:00:03:2f", learned("10.78.3.47"));
  EXPECT_EQ(1u, count_of(env.general_log(), "pIPNetTable->dwNumEntries 800, ec "));
}

TEST_F(GuardSnapshotTest, FailedOrEmptySizeQueryLeavesTheSetEmpty) {
  env.table().set_rows({row(kGatewayIp, kGatewayMac, kStatic), row(kOtherIp, kOtherMac, kDynamic)});
  env.make_guard();
  ASSERT_TRUE(is_static(kGatewayIp));

  env.table().set_read_error(ERROR_GEN_FAILURE);
  guard().BuildMapAndSet(false);
  EXPECT_FALSE(is_static(kGatewayIp));
  EXPECT_EQ(kOtherMac, learned(kOtherIp));
  EXPECT_EQ(1u, count_of(env.general_log(), "BuildMapAndSet ret 31, ulsize:0,error code:31"));

  env.table().set_read_error(NO_ERROR);
  env.table().set_rows({});
  guard().BuildMapAndSet(false);
  EXPECT_EQ(1u, count_of(env.general_log(), "BuildMapAndSet ret 232, ulsize:0,error code:232"));
}

TEST_F(GuardSnapshotTest, RowsAddedBetweenSizeQueryAndReadFitTheMarginOnly) {
  env.table().set_rows({row(kGatewayIp, kGatewayMac, kStatic)});
  env.make_guard();
  // 213 rows (5112 bytes) more than announced still fit the 5120-byte
  // margin; 214 do not.
  for (size_t more : {213, 214}) {
    env.table().set_rows({row(kGatewayIp, kGatewayMac, kStatic)});
    int reads = 0;
    env.table().set_read_hook([&reads, more](std::vector<MIB_IPNETROW>& rows) {
      std::vector<MIB_IPNETROW> added = numbered_rows(more, kDynamic);
      if (++reads == 2) rows.insert(rows.end(), added.begin(), added.end());
    });
    guard().BuildMapAndSet(false);
    env.table().set_read_hook(nullptr);
    EXPECT_EQ(more == 213, is_static(kGatewayIp)) << more;
  }
  EXPECT_EQ(1u, count_of(env.general_log(), "GetIpNetTable ret 122, ulSize 5164, pIPNetTable->dwNumEntries 0"));
}

}  // namespace
