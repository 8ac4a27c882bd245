// Windows: the agent runs as a service with the right to change the ARP
// table; a refused binding shows in the guard's log line and its report.
#include "host/HPrivileges.h"

bool HPrivileges::can_change_arp_table() { return true; }

const char* HPrivileges::arp_table_right() { return "administrator rights"; }
