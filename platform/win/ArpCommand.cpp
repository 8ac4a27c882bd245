// The "arp -s" command of Windows: the MAC is written with dashes, the
// program may be named with its folder and ".exe", in any case.
#include "platform/ArpCommand.h"

#include "platform/WinProcess.h"
#include "platform/WinString.h"

namespace platform {

namespace {

int hex_value(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool parse_mac(const std::wstring& text, BYTE mac[6]) {
  if (text.size() != 17) return false;
  wchar_t separator = text[2];
  if (separator != L':' && separator != L'-') return false;
  for (int group = 0; group < 6; ++group) {
    size_t at = static_cast<size_t>(group) * 3;
    int high = hex_value(text[at]);
    int low = hex_value(text[at + 1]);
    if (high < 0 || low < 0) return false;
    if (group < 5 && text[at + 2] != separator) return false;
    mac[group] = static_cast<BYTE>(high * 16 + low);
  }
  return true;
}

// Four decimal numbers of at most three digits and at most 255, joined by
// dots; the address comes out in network byte order.
bool parse_ipv4(const std::wstring& text, DWORD& address) {
  BYTE bytes[4];
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (at >= text.size() || text[at++] != L'.')) return false;
    size_t digits = 0;
    unsigned value = 0;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[at++] - L'0');
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    bytes[part] = static_cast<BYTE>(value);
  }
  if (at != text.size()) return false;
  address = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
            static_cast<DWORD>(bytes[3]) << 24;
  return true;
}

bool names_arp(const std::wstring& program) {
  size_t slash = program.find_last_of(L"\\/");
  std::wstring name = program.substr(slash == std::wstring::npos ? 0 : slash + 1);
  return _wcsicmp(name.c_str(), L"arp") == 0 || _wcsicmp(name.c_str(), L"arp.exe") == 0;
}

}  // namespace

bool arp_command_uses_dashes() { return true; }

bool parse_arp_set_command(const std::wstring& command_line, DWORD& address, BYTE mac[6]) {
  std::vector<std::wstring> words = split_command_line(command_line);
  if (words.size() != 4 || words[1] != L"-s" || !names_arp(words[0])) return false;
  BYTE bytes[6];
  DWORD parsed = 0;
  if (!parse_ipv4(words[2], parsed) || !parse_mac(words[3], bytes)) return false;
  address = parsed;
  for (int i = 0; i < 6; ++i) mac[i] = bytes[i];
  return true;
}

}  // namespace platform
