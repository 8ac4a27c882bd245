// The bind-list search of the ARP guard.
//
// Input: the bind list, the IP and the MAC, as UTF-8 separated by 0 bytes.
// Every answer is checked against the list itself: a found pair stands at
// the position given and starts a pair there, no earlier place would have
// done, and a configured MAC said to be found is a MAC that the command
// line may take.
#include <cstddef>
#include <cstdint>
#include <string>

#include "arpguard/HBindList.h"
#include "fuzz/Finding.h"
#include "fuzz/FuzzInput.h"
#include "host/HFileUtil.h"
#include "host/HNetworkProtocolUtil.h"
#include "platform/ArpCommand.h"

namespace {

constexpr size_t kMaxText = 4096;

bool is_ipv4_char(wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.'; }

bool starts_pair_at(const std::wstring& list, const std::wstring& key, size_t pos) {
  return list.compare(pos, key.size(), key) == 0 && (pos == 0 || !is_ipv4_char(list[pos - 1]));
}

void check_find(const HBindList& bind_list, const std::wstring& list, const std::wstring& key) {
  int pos = bind_list.find_pair(HString(key));
  if (key.empty()) {
    if (pos != -1) finding("an empty key was found");
    return;
  }
  if (pos < -1 || pos > static_cast<int>(list.size())) finding("position outside the list");
  size_t end = pos < 0 ? list.size() + 1 : static_cast<size_t>(pos);
  for (size_t at = 0; at < end && at < list.size(); ++at) {
    if (starts_pair_at(list, key, at)) finding("an earlier pair was passed over");
  }
  if (pos >= 0 && !starts_pair_at(list, key, static_cast<size_t>(pos))) finding("found where no pair starts");
}

void check_configured(const HBindList& bind_list, const std::wstring& ip) {
  HString mac;
  HBindList::Lookup found = bind_list.configured_mac(HString(ip), mac);
  if (found == HBindList::Lookup::kMissing) return;
  if (mac.length() != 17) finding("configured MAC is not 17 characters");
  if (found != HBindList::Lookup::kFound) return;
  unsigned char bytes[6];
  if (!HNetworkProtocolUtil::MakeMACArrayFromString(mac.get_str_direct(), bytes)) finding("found MAC does not parse");
  // What the guard would hand to the command line, with a checked address.
  HString command = HString(L"arp -s 10.77.0.1 ") + mac;
  DWORD address = 0;
  BYTE parsed[6];
  if (!platform::parse_arp_set_command(command.wstr(), address, parsed)) finding("found MAC unfit for the command");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  std::wstring list = HFileUtil::from_utf8(in.until(0, kMaxText)).wstr();
  std::wstring ip = HFileUtil::from_utf8(in.until(0, kMaxText)).wstr();
  std::wstring mac = HFileUtil::from_utf8(in.until(0, kMaxText)).wstr();
  HBindList bind_list{HString(list)};

  check_find(bind_list, list, ip + L"-" + mac);
  check_find(bind_list, list, ip + L"-");
  check_find(bind_list, list, ip);
  bool has = bind_list.has_pair(HString(ip), HString(mac));
  if (has != (bind_list.find_pair(HString(ip + L"-" + mac)) >= 0)) finding("has_pair disagrees with find_pair");
  check_configured(bind_list, ip);
  return 0;
}
