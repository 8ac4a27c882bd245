#include "tests/support/arpguard_support.h"

#include <arpa/inet.h>
#include <stdlib.h>

#include <cstdio>
#include <stdexcept>

#include "arpguard/HThreadTidewell.h"
#include "host/HNetworkProtocolUtil.h"
#include "platform/ArpCommand.h"

namespace arpguard_test {

MIB_IPNETROW row(const std::string& ip, const std::string& mac, DWORD type, DWORD index) {
  MIB_IPNETROW r{};
  r.dwIndex = index;
  struct in_addr in {};
  if (inet_pton(AF_INET, ip.c_str(), &in) != 1) throw std::invalid_argument(ip);
  r.dwAddr = in.s_addr;
  if (!mac.empty()) {
    if (!HNetworkProtocolUtil::MakeMACArrayFromString(mac, r.bPhysAddr)) throw std::invalid_argument(mac);
    r.dwPhysAddrLen = 6;
  }
  r.dwType = type;
  return r;
}

std::string numbered_ip(int net, size_t n) {
  char ip[32];
  std::snprintf(ip, sizeof(ip), "10.%d.%u.%u", net, static_cast<unsigned>(n / 250), static_cast<unsigned>(n % 250 + 1));
  return ip;
}

std::string numbered_mac(int net, size_t n) {
  char mac[32];
  std::snprintf(mac, sizeof(mac), "02:%02x:00:00:%02x:%02x", static_cast<unsigned>(net), static_cast<unsigned>(n / 250),
                static_cast<unsigned>(n % 250 + 1));
  return mac;
}

std::vector<MIB_IPNETROW> numbered_rows(size_t count, DWORD type) {
  std::vector<MIB_IPNETROW> rows;
  for (size_t n = 0; n < count; ++n) rows.push_back(row(numbered_ip(78, n), numbered_mac(0x78, n), type));
  return rows;
}

HArpNode claim(const std::string& ip, const std::string& mac) {
  return HArpNode{2, ip, mac, kHostIp, kHostMac};
}

Bytes marked_frame(const ArpFields& fields) {
  static const char kMarker[] = "KivoHarborProbe";  // and three zero bytes
  Bytes frame = arp_frame(fields, 60);
  for (size_t i = 0; i < 18; ++i) frame[42 + i] = i < 15 ? static_cast<unsigned char>(kMarker[i]) : 0;
  return frame;
}

std::string ip_of(const MIB_IPNETROW& r) { return HNetworkProtocolUtil::GetIPString(r.dwAddr, true); }
std::string mac_of(const MIB_IPNETROW& r) { return HNetworkProtocolUtil::GetMACString(r.bPhysAddr); }

ProcessRecorder::ProcessRecorder() {
  platform::set_process_launcher([this](const platform::ProcessLaunch& launch) {
    std::lock_guard<std::mutex> lock(mtx_launches);
    vt_launches.push_back(launch);
    DWORD address = 0;
    BYTE mac[6];
    auto* table = dynamic_cast<platform::MemoryArpTable*>(platform::arp_table_backend());
    if (table && !platform::stand_ins_hang() && platform::parse_arp_set_command(launch.command_line, address, mac)) {
      table->set_static(address, mac);
    }
    return true;
  });
}

ProcessRecorder::~ProcessRecorder() {
  platform::set_process_launcher(nullptr);
  platform::set_stand_ins_hang(false);
}

void ProcessRecorder::hang(bool hang) { platform::set_stand_ins_hang(hang); }

std::vector<platform::ProcessLaunch> ProcessRecorder::launches() {
  std::lock_guard<std::mutex> lock(mtx_launches);
  return vt_launches;
}

Policy::Policy(int32_t protection_mode) {
  id = "p-guard";
  mode = protection_mode;
  dhcp = 0;
  auto_bind = 1;
  host_ip = kHostIp;
  host_mac = kHostMac;
  gateways = {kGatewayIp, kGateway2Ip};
}

GuardRig::GuardRig(const Policy& policy, DWORD start_tick) : env(policy), ticks(start_tick) {
  env.table().set_rows({row(kGatewayIp, kGatewayMac, MIB_IPNET_TYPE_DYNAMIC, 3),
                        row(kGateway2Ip, kGateway2Mac, MIB_IPNET_TYPE_DYNAMIC, 4)});
  guard = &env.make_guard();
  probe = &env.probe();
}

std::string GuardRig::learned(const std::string& ip) {
  HString mac;
  return guard->learned_mac(HString(ip), mac) ? narrow(mac) : std::string("<none>");
}

}  // namespace arpguard_test
