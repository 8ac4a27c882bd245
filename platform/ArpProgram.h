#pragma once
// The system's arp program as a command line names it; the one part of
// reading "arp -s" back that differs between Linux and Windows.
#include <string>

namespace platform {

// Whether `program`, the first word of a command line, is the system's arp.
bool names_arp_program(const std::wstring& program);

}  // namespace platform
