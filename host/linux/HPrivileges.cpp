// Linux: CAP_NET_ADMIN in the effective set, asked of the kernel (capget).
#include "host/HPrivileges.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

bool HPrivileges::can_change_arp_table() {
  __user_cap_header_struct header{};
  header.version = _LINUX_CAPABILITY_VERSION_3;
  header.pid = 0;
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return true;  // unknown: the binding's own result tells
  return (data[CAP_NET_ADMIN / 32].effective & (1u << (CAP_NET_ADMIN % 32))) != 0;
}

const char* HPrivileges::arp_table_right() { return "CAP_NET_ADMIN"; }
