#include "platform/ArpCommand.h"

#include <arpa/inet.h>

#include <cwctype>

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

bool parse_ipv4(const std::wstring& text, DWORD& address) {
  std::string narrow;
  for (wchar_t c : text) {
    if (c > 0x7f) return false;
    narrow += static_cast<char>(c);
  }
  struct in_addr in {};
  if (inet_pton(AF_INET, narrow.c_str(), &in) != 1) return false;
  address = in.s_addr;
  return true;
}

}  // namespace

bool arp_command_uses_dashes() { return false; }

bool parse_arp_set_command(const std::wstring& command_line, DWORD& address, BYTE mac[6]) {
  std::vector<std::wstring> words = split_command_line(command_line);
  if (words.size() != 4 || words[1] != L"-s") return false;
  const std::wstring& program = words[0];
  size_t slash = program.find_last_of(L'/');
  if (program.substr(slash == std::wstring::npos ? 0 : slash + 1) != L"arp") return false;
  BYTE bytes[6];
  DWORD parsed = 0;
  if (!parse_ipv4(words[2], parsed) || !parse_mac(words[3], bytes)) return false;
  address = parsed;
  for (int i = 0; i < 6; ++i) mac[i] = bytes[i];
  return true;
}

}  // namespace platform
