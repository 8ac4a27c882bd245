// Lab helper of the ARP guard, run inside a network namespace against the
// kernel's ARP table:
//   arpguard_lab HOME bind IP MAC      bind statically (in place or "arp -s"),
//                                      wait up to 5 s for the static entry and
//                                      say "bound IP in place" or "bound IP by arp -s"
//   arpguard_lab HOME snapshot IP...   take the guard's first snapshot and say
//                                      for each IP "static", "learned MAC" or "none"
// HOME is a scratch folder for the agent's home (logs). Exit 0 on success,
// 1 when the entry did not become static, 2 on bad usage.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "arpguard/ArpBind.h"
#include "arpguard/HThreadTidewell.h"
#include "frame/HPTWGlobal.h"
#include "host/HEnvironment.h"
#include "host/HNetworkProtocolUtil.h"
#include "platform/IpHelper.h"
#include "platform/NetlinkArpTable.h"
#include "platform/WinDebug.h"

namespace {

bool is_static_now(const std::string& ip) {
  std::vector<MIB_IPNETROW> rows;
  if (platform::NetlinkArpTable().read_rows(rows) != NO_ERROR) return false;
  for (const MIB_IPNETROW& row : rows) {
    if (HNetworkProtocolUtil::GetIPString(row.dwAddr, true) == ip && row.dwType == MIB_IPNET_TYPE_STATIC) return true;
  }
  return false;
}

int bind(const std::string& ip, const std::string& mac) {
  // The fallback writes its command line to the debugger output.
  bool by_command = false;
  platform::set_debug_sink([&by_command](const std::wstring& text) {
    if (text.rfind(L"arp -s ", 0) == 0) by_command = true;
  });
  HBindAttempt attempt = bind_ip_mac(HString(ip), HString(mac), MIB_IPNET_TYPE_STATIC);
  platform::set_debug_sink(nullptr);
  if (attempt.process.hProcess) {
    WaitForSingleObject(attempt.process.hProcess, 5000);
    CloseHandle(attempt.process.hProcess);
    CloseHandle(attempt.process.hThread);
  }
  // The fallback command runs on its own; give it a bounded while.
  for (int i = 0; i < 100; ++i) {
    if (is_static_now(ip)) {
      std::printf("bound %s %s\n", ip.c_str(), by_command ? "by arp -s" : "in place");
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::printf("not bound %s\n", ip.c_str());
  return 1;
}

int snapshot(int argc, char** argv) {
  HThreadTidewell* guard = new HThreadTidewell();
  HPTWGlobal::ins().p_thread_tidewell = guard;
  for (int i = 0; i < argc; ++i) {
    HString ip(argv[i]);
    HString mac;
    if (guard->is_static(ip)) {
      std::printf("%s static\n", argv[i]);
    } else if (guard->learned_mac(ip, mac)) {
      std::printf("%s learned %s\n", argv[i], mac.get_str_direct().c_str());
    } else {
      std::printf("%s none\n", argv[i]);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 2 ? argv[2] : "";
  if (command == "bind" || command == "snapshot") HEnvironment::set_home(HString(argv[1]));
  if (command == "bind" && argc == 5) return bind(argv[3], argv[4]);
  if (command == "snapshot") return snapshot(argc - 3, argv + 3);
  std::fprintf(stderr, "usage: arpguard_lab HOME bind IP MAC | HOME snapshot IP...\n");
  return 2;
}
