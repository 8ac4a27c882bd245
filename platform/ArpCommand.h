#pragma once
// The system's command that sets a static ARP entry ("arp -s IP MAC"). The
// Windows arp wants the MAC written with dashes; net-tools' arp refuses
// dashes ("arp: invalid hardware address") and wants colons.
#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

namespace platform {

// Whether the command line must carry the MAC with "-" between the groups.
bool arp_command_uses_dashes();

// Reads "arp -s IP MAC" (MAC with ":" or "-"): true with the address in
// network byte order and the six bytes, false for any other command line.
bool parse_arp_set_command(const std::wstring& command_line, DWORD& address, BYTE mac[6]);

}  // namespace platform
