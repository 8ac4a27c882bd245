// Reading an "arp -s IP MAC" command line back; what the system's arp
// program is called, and how it wants the MAC written, is said by
// platform/ArpProgram.cpp on Linux and platform/win/ArpProgram.cpp.
#include "platform/ArpCommand.h"

#include "platform/ArpProgram.h"
#include "platform/WinProcess.h"
#include "wire/HIpv4Text.h"
#include "wire/HMacText.h"

namespace platform {

bool parse_arp_set_command(const std::wstring& command_line, DWORD& address, BYTE mac[6]) {
  std::vector<std::wstring> words = split_command_line(command_line);
  if (words.size() != 4 || words[1] != L"-s" || !names_arp_program(words[0])) return false;
  BYTE bytes[6];
  uint32_t parsed = 0;
  if (!HIpv4Text::parse(words[2], parsed) || !HMacText::parse(words[3], bytes)) return false;
  address = parsed;  // network byte order, as the table rows keep it
  for (int i = 0; i < 6; ++i) mac[i] = bytes[i];
  return true;
}

}  // namespace platform
