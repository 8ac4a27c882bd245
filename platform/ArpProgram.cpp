// net-tools' arp: "arp" with or without its folder; it wants colons.
#include "platform/ArpCommand.h"
#include "platform/ArpProgram.h"

namespace platform {

bool arp_command_uses_dashes() { return false; }

bool names_arp_program(const std::wstring& program) {
  size_t slash = program.find_last_of(L'/');
  return program.substr(slash == std::wstring::npos ? 0 : slash + 1) == L"arp";
}

}  // namespace platform
