// Reading an "arp -s IP MAC" command line back; what the system's arp
// program is called, and how it wants the MAC written, is said by
// platform/ArpProgram.cpp on Linux and platform/win/ArpProgram.cpp.
#include "platform/ArpCommand.h"

#include "platform/ArpProgram.h"
#include "platform/WinProcess.h"

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

// Four decimal numbers from 0 to 255 without leading zeros, joined by dots
// (what inet_pton takes); the address comes out in network byte order.
bool parse_ipv4(const std::wstring& text, DWORD& address) {
  BYTE bytes[4];
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (at >= text.size() || text[at++] != L'.')) return false;
    size_t first = at;
    unsigned value = 0;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9' && at - first < 4) {
      value = value * 10 + static_cast<unsigned>(text[at++] - L'0');
    }
    size_t digits = at - first;
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[first] == L'0')) return false;
    bytes[part] = static_cast<BYTE>(value);
  }
  if (at != text.size()) return false;
  address = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
            static_cast<DWORD>(bytes[3]) << 24;
  return true;
}

}  // namespace

bool parse_arp_set_command(const std::wstring& command_line, DWORD& address, BYTE mac[6]) {
  std::vector<std::wstring> words = split_command_line(command_line);
  if (words.size() != 4 || words[1] != L"-s" || !names_arp_program(words[0])) return false;
  BYTE bytes[6];
  DWORD parsed = 0;
  if (!parse_ipv4(words[2], parsed) || !parse_mac(words[3], bytes)) return false;
  address = parsed;
  for (int i = 0; i < 6; ++i) mac[i] = bytes[i];
  return true;
}

}  // namespace platform
