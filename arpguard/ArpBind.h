#pragma once
// Makes the system ARP entry of an address static: in place on the row's own
// interface when the table has a row for it, else through "arp -s".
#include "host/HString.h"
#include "platform/WinProcess.h"
#include "platform/WinTypes.h"

// How far bind_ip_mac got. Only a table read afterwards (is_bound) tells
// whether the entry took.
struct HBindAttempt {
  enum class Kind {
    kSetInPlace,      // SetIpNetEntry accepted the row
    kCommandStarted,  // "arp -s" runs: the caller waits for it and closes both handles
    kFailed,          // nothing was changed; str_cause says why
  };
  Kind kind = Kind::kFailed;
  HString str_cause;
  PROCESS_INFORMATION process{};
};

// `mac` must be six two-digit hex groups (":" or "-"); anything else is
// refused (logged) and nothing is touched. `type` is the row type to store
// (4, static).
HBindAttempt bind_ip_mac(const HString& ip, const HString& mac, DWORD type);

// Whether the table, read now, holds a static row of `ip` with `mac`.
bool is_bound(const HString& ip, const HString& mac);

// Starts "arp -s IP MAC" hidden, with the MAC separators the platform's arp
// wants, and returns at once with the process information (zeroed when the
// start failed). The caller closes both handles.
PROCESS_INFORMATION run_arp_command(const HString& ip, const HString& mac);
