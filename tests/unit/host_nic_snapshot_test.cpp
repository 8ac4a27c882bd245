// The guard looks at the adapters' gateways for every changed MAC through a
// shared snapshot instead of a copy: it must say what GetNICInfo says, and a
// snapshot in use must not change under its reader.
#include <gtest/gtest.h>

#include <vector>

#include "host/HNetworkUtil.h"

namespace {

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

}  // namespace
