// Windows' arp: the MAC is written with dashes, the program may be named
// with its folder and ".exe", in any case.
#include "platform/ArpCommand.h"
#include "platform/ArpProgram.h"
#include "platform/WinString.h"

namespace platform {

bool arp_command_uses_dashes() { return true; }

bool names_arp_program(const std::wstring& program) {
  size_t slash = program.find_last_of(L"\\/");
  std::wstring name = program.substr(slash == std::wstring::npos ? 0 : slash + 1);
  return _wcsicmp(name.c_str(), L"arp") == 0 || _wcsicmp(name.c_str(), L"arp.exe") == 0;
}

}  // namespace platform
