// The replay ARP table: rows in memory, and "arp -s" applied to them instead
// of a process.
#include "platform/ArpCommand.h"
#include "platform/IpHelper.h"
#include "platform/MemoryArpTable.h"
#include "platform/WinProcess.h"

namespace platform {

void install_virtual_arp_table(const std::vector<MIB_IPNETROW>& rows) {
  // Lives as long as the process: the guard's threads may read it at exit.
  static MemoryArpTable* table = new MemoryArpTable();
  table->set_rows(rows);
  set_arp_table_backend(table);
  set_process_launcher([](const ProcessLaunch& launch) {
    DWORD address = 0;
    BYTE mac[6];
    if (!parse_arp_set_command(launch.command_line, address, mac)) return false;
    table->set_static(address, mac);
    return true;
  });
}

}  // namespace platform
