#pragma once
// Makes the system ARP entry of an address static: in place on the row's own
// interface when the table has a row for it, else through "arp -s".
#include "host/HString.h"
#include "platform/WinProcess.h"
#include "platform/WinTypes.h"

// `mac` must be six two-digit hex groups (":" or "-"); anything else is
// refused (logged) and nothing is touched. `type` is the row type to store
// (4, static). The caller learns nothing; the next table read shows whether
// the entry took.
void bind_ip_mac(const HString& ip, const HString& mac, DWORD type);

// Starts "arp -s IP MAC" hidden, with the MAC separators the platform's arp
// wants, and returns at once with the process information (zeroed when the
// start failed). The caller closes both handles.
PROCESS_INFORMATION run_arp_command(const HString& ip, const HString& mac);
