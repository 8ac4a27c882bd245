// The printable rendering of a DHCP message goes to the attack log as plain
// bytes: it must be the very text of the wide rendering.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HString.h"

namespace {

TEST(HostTextRender, NarrowRenderingIsTheWideOneForEveryByte) {
  std::vector<unsigned char> all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<unsigned char>(b));
  HString wide;
  wide.make_by_bin_multi(all.data(), static_cast<int>(all.size()));
  std::string narrow = "kept ";
  HString::append_bin_multi(narrow, all.data(), static_cast<int>(all.size()));
  ASSERT_EQ(0u, narrow.rfind("kept ", 0));
  EXPECT_EQ(wide.get_str_direct(), narrow.substr(5));
  EXPECT_EQ(std::string::npos, narrow.find('\0'));
}

TEST(HostTextRender, EscapesAreFourCharactersAndNothingIsLeftBehind) {
  const unsigned char bytes[] = {'a', 0x00, '\\', 0xff, 'z'};
  std::string out;
  HString::append_bin_multi(out, bytes, 5);
  EXPECT_EQ("a\\x00\\x5c\\xffz", out);
  HString::append_bin_multi(out, nullptr, 3);
  HString::append_bin_multi(out, bytes, 0);
  EXPECT_EQ("a\\x00\\x5c\\xffz", out);
}

}  // namespace
