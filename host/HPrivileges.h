#pragma once
// What the agent's process may do to the system beyond capturing: the
// plug-in binds gateways in the system ARP table, which on Linux takes
// CAP_NET_ADMIN (raw capture needs only CAP_NET_RAW).
class HPrivileges {
 public:
  // Whether the process may change the system ARP table.
  static bool can_change_arp_table();
  // What it lacks to do so, for a message ("CAP_NET_ADMIN").
  static const char* arp_table_right();
};
