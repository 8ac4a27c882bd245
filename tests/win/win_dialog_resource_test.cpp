// Dialog 6011 as the resource compiler built it into Tidewell.dll from
// res/Tidewell.rc is, byte for byte, the template that the window layer
// writes from its own description of the dialog (generated from the same
// script): style, size, caption, font and controls agree, so the dialog
// looks the same whichever of the two it is built from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/win/DialogTemplateWriter.h"
#include "res/TidewellDialogs.h"
#include "tests/win/DllResource.h"

TEST(AlarmDialogResource, ResourceIsTheTemplateTheWindowLayerWrites) {
  std::vector<unsigned char> resource =
      dialog_resource_of(program_folder() + L"\\Tidewell.dll", IDD_DHCP_ALARM, tidewell_res::kDialogLanguage);
  ASSERT_FALSE(resource.empty()) << "Tidewell.dll holds no dialog 6011 in language 2052";
  std::vector<DWORD> dwords = platform::write_dialog_template(tidewell_res::kDhcpAlarm);
  std::vector<unsigned char> written(dwords.size() * sizeof(DWORD));
  std::memcpy(written.data(), dwords.data(), written.size());
  // The resource may end before the last DWORD's padding.
  resource.resize((resource.size() + sizeof(DWORD) - 1) / sizeof(DWORD) * sizeof(DWORD), 0);
  size_t same = std::mismatch(written.begin(), written.end(), resource.begin(), resource.end()).first - written.begin();
  EXPECT_EQ(written.size(), same) << "the resource differs from the written template from this byte on";
  EXPECT_EQ(written.size(), resource.size());
}
