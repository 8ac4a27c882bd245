#include "host/HLanMgr.h"

#include <string>

HLanMgr& HLanMgr::ins() {
  static HLanMgr* mgr = new HLanMgr;
  return *mgr;
}

HLanMgr::HLanMgr() {
  map_texts[0] = L"ARP spoofing: {mac} claims the gateway's address";
  map_texts[1] = L"Gateway {ipb} bound to {macb}; {mac} claimed it";
  map_texts[2] = L"Could not bind the gateway claimed by {mac}: it is not in the binding list, or the system refused";
  map_texts[3] = L"Gateway claimed by {mac} is not bound";
  map_texts[4] = L"Rogue DHCP server {mac} offered no address";
  map_texts[5] = L"Rogue DHCP server {mac} ({ip}) is not on the list of legitimate servers";
  map_texts[6] = L"IPv6 router {ip} claimed by {mac}";
  map_texts[7] = L"Rogue IPv6 router advertisement from {mac} ({ip})";
  map_texts[8] = L"Rogue DHCPv6 server {mac} ({ip}) is not on the list of legitimate servers";
  map_texts[120] = L"OK";
  map_texts[769] = L"MAC {mac} claimed {num} addresses within {ms} ms";
  map_texts[777] = L"A DHCP server ({mac}) names a gateway that does not answer: it may be a rogue DHCP server";
  map_texts[779] = L"{name} - DHCP alarm";
}

void HLanMgr::set_text(int id, const HString& text) {
  std::lock_guard<std::mutex> lock(mtx_texts);
  map_texts[id] = text;
}

HString HLanMgr::get(int id) {
  std::lock_guard<std::mutex> lock(mtx_texts);
  auto it = map_texts.find(id);
  return it == map_texts.end() ? HString() : it->second;
}

// One pass over the text, so a value that itself looks like "{key}" is never
// filled a second time. Unknown placeholders stay as written.
HString HLanMgr::get(int id, const std::map<HString, HString>& values) {
  const std::wstring text = get(id).wstr();
  std::wstring out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find(L'{', pos);
    size_t close = open == std::wstring::npos ? open : text.find(L'}', open + 1);
    if (close == std::wstring::npos) break;
    auto it = values.find(HString(text.substr(open + 1, close - open - 1)));
    out.append(text, pos, open - pos);
    if (it == values.end()) {
      out.append(text, open, 1);
      pos = open + 1;
      continue;
    }
    out += it->second.wstr();
    pos = close + 1;
  }
  out.append(text, pos, std::wstring::npos);
  return HString(out);
}

HString HLanMgr::get(int id, const HString& k1, const HString& v1) { return get(id, {{k1, v1}}); }

HString HLanMgr::get(int id, const HString& k1, const HString& v1, const HString& k2, const HString& v2) {
  return get(id, {{k1, v1}, {k2, v2}});
}

HString HLanMgr::get(int id, const HString& k1, const HString& v1, const HString& k2, const HString& v2,
                     const HString& k3, const HString& v3) {
  return get(id, {{k1, v1}, {k2, v2}, {k3, v3}});
}
