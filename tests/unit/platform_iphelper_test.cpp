// GetIpNetTable and SetIpNetEntry keep their Windows contracts whatever
// table lies behind them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/IpHelper.h"
#include "platform/MemoryArpTable.h"
#include "platform/NetlinkArpTable.h"
#include "platform/WinTime.h"
#include "tests/support/arpguard_support.h"

using namespace arpguard_test;

namespace {

const DWORD kStatic = MIB_IPNET_TYPE_STATIC;
const DWORD kDynamic = MIB_IPNET_TYPE_DYNAMIC;

class PlatformIpHelperTest : public ::testing::Test {
 protected:
  PlatformIpHelperTest() { platform::set_arp_table_backend(&table); }
  ~PlatformIpHelperTest() override { platform::set_arp_table_backend(nullptr); }

  // Reads the whole table the Windows way; the rows copied out.
  DWORD read(std::vector<MIB_IPNETROW>& rows, BOOL order) {
    ULONG size = 0;
    DWORD ret = GetIpNetTable(nullptr, &size, FALSE);
    if (ret != ERROR_INSUFFICIENT_BUFFER) return ret;
    std::vector<DWORD> buffer(size / sizeof(DWORD));
    ret = GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.data()), &size, order);
    if (ret != NO_ERROR) return ret;
    rows.resize(buffer[0]);
    std::memcpy(rows.data(), buffer.data() + 1, rows.size() * sizeof(MIB_IPNETROW));
    return ret;
  }

  platform::MemoryArpTable table;
};

// An empty table and a failed read, with the error also for GetLastError,
// are the guard's snapshot test's (FailedOrEmptySizeQueryLeavesTheSetEmpty).
TEST_F(PlatformIpHelperTest, SizeQueryAnswers122WithTheBytesNeeded) {
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetIpNetTable(nullptr, nullptr, FALSE));
  table.set_rows({row("10.77.1.1", "02:77:00:00:01:01", kDynamic), row("10.77.1.2", "02:77:00:00:01:02", kStatic)});
  ULONG size = 0;
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetIpNetTable(nullptr, &size, FALSE));
  EXPECT_EQ(4u + 2 * 24u, size);
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());

  std::vector<DWORD> buffer(64, 0xeeeeeeee);
  size = 4 + 24 + 23;  // one byte short
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.data()), &size, FALSE));
  EXPECT_EQ(52u, size);
  EXPECT_EQ(0xeeeeeeeeu, buffer[0]);  // nothing written

  EXPECT_EQ(NO_ERROR, GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(buffer.data()), &size, FALSE));
  EXPECT_EQ(2u, buffer[0]);
  EXPECT_EQ(0xeeeeeeeeu, buffer[13]);  // nothing written past the two rows
}

TEST_F(PlatformIpHelperTest, RowsComeInTableOrderOrSortedByAddress) {
  // 10.0.0.2 sorts after 9.255.255.255 as an address, before it as raw
  // network-order bytes read on a little-endian machine.
  table.set_rows({row("10.0.0.2", "02:00:00:00:00:02", kDynamic, 4), row("9.255.255.255", "02:00:00:00:00:01", kStatic, 5),
                  row("10.0.0.1", "02:00:00:00:00:03", kDynamic, 6)});
  std::vector<MIB_IPNETROW> rows;
  ASSERT_EQ(NO_ERROR, read(rows, FALSE));
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ("10.0.0.2", ip_of(rows[0]));
  ASSERT_EQ(NO_ERROR, read(rows, TRUE));
  EXPECT_EQ("9.255.255.255", ip_of(rows[0]));
  EXPECT_EQ("10.0.0.1", ip_of(rows[1]));
  EXPECT_EQ("10.0.0.2", ip_of(rows[2]));
}

TEST_F(PlatformIpHelperTest, SetIpNetEntryReplacesTheRowOfItsInterfaceOrAddsOne) {
  table.set_rows({row("10.77.1.1", "02:77:00:00:01:01", kDynamic, 3), row("10.77.1.1", "02:77:00:00:01:01", kDynamic, 4)});
  MIB_IPNETROW bound = row("10.77.1.1", "02:77:00:00:0a:0a", kStatic, 4);
  EXPECT_EQ(NO_ERROR, SetIpNetEntry(&bound));
  MIB_IPNETROW added = row("10.77.1.9", "02:77:00:00:0a:0b", kStatic, 3);
  EXPECT_EQ(NO_ERROR, SetIpNetEntry(&added));
  std::vector<MIB_IPNETROW> rows = table.rows();
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ(kDynamic, rows[0].dwType);
  EXPECT_EQ(kStatic, rows[1].dwType);
  EXPECT_EQ("02:77:00:00:0a:0a", mac_of(rows[1]));
  EXPECT_EQ("10.77.1.9", ip_of(rows[2]));
}

TEST_F(PlatformIpHelperTest, SetIpNetEntryRefusesWhatItCannotStore) {
  EXPECT_EQ(ERROR_INVALID_PARAMETER, SetIpNetEntry(nullptr));
  MIB_IPNETROW too_long = row("10.77.1.1", "02:77:00:00:01:01", kStatic);
  too_long.dwPhysAddrLen = 9;
  for (MIB_IPNETROW bad : {row("10.77.1.1", "02:77:00:00:01:01", MIB_IPNET_TYPE_INVALID), row("10.77.1.1", "", kStatic),
                           too_long}) {
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SetIpNetEntry(&bad));
  }
  EXPECT_TRUE(table.rows().empty());
}

TEST_F(PlatformIpHelperTest, NullBackendRestoresTheKernelTable) {
  EXPECT_EQ(&table, platform::arp_table_backend());
  platform::set_arp_table_backend(nullptr);
  EXPECT_NE(nullptr, dynamic_cast<platform::NetlinkArpTable*>(platform::arp_table_backend()));
}

}  // namespace
