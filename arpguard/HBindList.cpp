#include "arpguard/HBindList.h"

#include "host/HNetworkProtocolUtil.h"

namespace {

constexpr int kMacTextLen = 17;

bool is_ipv4_char(wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.'; }

}  // namespace

int HBindList::find_pair(const HString& key) const {
  if (key.empty()) return -1;
  const std::wstring& text = str_list.wstr();
  for (int pos = str_list.find(key, 0); pos >= 0; pos = str_list.find(key, pos + 1)) {
    if (pos == 0 || !is_ipv4_char(text[static_cast<size_t>(pos) - 1])) return pos;
  }
  return -1;
}

bool HBindList::has_pair(const HString& ip, const HString& mac) const {
  return find_pair(ip + HString(L"-") + mac) >= 0;
}

HBindList::Lookup HBindList::configured_mac(const HString& ip, HString& mac) const {
  HString key = ip + HString(L"-");
  int pos = find_pair(key);
  if (pos < 0) return Lookup::kMissing;
  HString text = str_list.substr(pos + key.length(), kMacTextLen);
  if (text.length() != kMacTextLen) return Lookup::kMissing;
  mac = text;
  unsigned char bytes[6];
  return HNetworkProtocolUtil::MakeMACArrayFromString(text.get_str_direct(), bytes) ? Lookup::kFound
                                                                                   : Lookup::kMalformed;
}
