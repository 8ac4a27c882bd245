#include "tests/support/arpguard_support.h"

#include <arpa/inet.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "arpguard/HThreadTidewell.h"
#include "arpwatch/HTestThread.h"
#include "frame/HPTWGlobal.h"
#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "platform/WinDebug.h"
#include "platform/WinTime.h"

namespace arpguard_test {

const char kHostIp[] = "10.77.1.10";
const char kHostMac[] = "02:77:00:00:01:10";
const char kGatewayIp[] = "10.77.1.1";
const char kGateway2Ip[] = "10.77.2.1";
const char kGatewayMac[] = "02:77:00:00:01:01";
const char kGateway2Mac[] = "02:77:00:00:02:01";
const char kSpooferMac[] = "02:77:00:00:0e:0e";
const char kOtherIp[] = "10.77.1.20";
const char kOtherMac[] = "02:77:00:00:01:20";

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

// Rows 10.78.x.y with MACs 02:78:00:00:x:y.
std::vector<MIB_IPNETROW> numbered_rows(size_t count, DWORD type) {
  std::vector<MIB_IPNETROW> rows;
  for (size_t i = 0; i < count; ++i) {
    unsigned hi = static_cast<unsigned>(i / 250), lo = static_cast<unsigned>(i % 250) + 1;
    char ip[32], mac[32];
    std::snprintf(ip, sizeof(ip), "10.78.%u.%u", hi, lo);
    std::snprintf(mac, sizeof(mac), "02:78:00:00:%02x:%02x", hi, lo);
    rows.push_back(row(ip, mac, type));
  }
  return rows;
}

std::string ip_of(const MIB_IPNETROW& r) { return HNetworkProtocolUtil::GetIPString(r.dwAddr, true); }
std::string mac_of(const MIB_IPNETROW& r) { return HNetworkProtocolUtil::GetMACString(r.bPhysAddr); }
std::string narrow(const HString& text) { return text.get_str_direct(); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

size_t count_of(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  if (needle.empty()) return 0;
  for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + 1)) ++n;
  return n;
}

CoreRecorder::CoreRecorder() {
  HDataCenter::set_core_hook([this](const std::vector<ARPSpoofingReport_Local>& block) {
    std::lock_guard<std::mutex> lock(mtx_reports);
    vt_reports.insert(vt_reports.end(), block.begin(), block.end());
    return true;
  });
}

CoreRecorder::~CoreRecorder() { HDataCenter::set_core_hook(nullptr); }

std::vector<ARPSpoofingReport_Local> CoreRecorder::reports() {
  std::lock_guard<std::mutex> lock(mtx_reports);
  return vt_reports;
}

std::vector<std::string> CoreRecorder::ids() {
  std::vector<std::string> out;
  for (const ARPSpoofingReport_Local& r : reports()) out.push_back(narrow(r.str_desc));
  return out;
}

ProcessRecorder::ProcessRecorder() {
  platform::set_process_launcher([this](const platform::ProcessLaunch& launch) {
    std::lock_guard<std::mutex> lock(mtx_launches);
    vt_launches.push_back(launch);
    return true;
  });
}

ProcessRecorder::~ProcessRecorder() { platform::set_process_launcher(nullptr); }

std::vector<platform::ProcessLaunch> ProcessRecorder::launches() {
  std::lock_guard<std::mutex> lock(mtx_launches);
  return vt_launches;
}

DebugRecorder::DebugRecorder() {
  platform::set_debug_sink([this](const std::wstring& text) {
    std::lock_guard<std::mutex> lock(mtx_texts);
    vt_texts.push_back(HString(text).get_str_direct());
  });
}

DebugRecorder::~DebugRecorder() { platform::set_debug_sink(nullptr); }

std::vector<std::string> DebugRecorder::texts() {
  std::lock_guard<std::mutex> lock(mtx_texts);
  return vt_texts;
}

size_t DebugRecorder::count_containing(const std::string& needle) {
  size_t n = 0;
  for (const std::string& text : texts()) n += text.find(needle) != std::string::npos;
  return n;
}

FakeTicks::FakeTicks(DWORD start) : dw_now(start) {
  platform::set_tick_source([this] { return now(); });
}

FakeTicks::~FakeTicks() { platform::set_tick_source(nullptr); }

void FakeTicks::set(DWORD value) {
  std::lock_guard<std::mutex> lock(mtx_now);
  dw_now = value;
}

void FakeTicks::advance(DWORD ms) {
  std::lock_guard<std::mutex> lock(mtx_now);
  dw_now += ms;
}

DWORD FakeTicks::now() {
  std::lock_guard<std::mutex> lock(mtx_now);
  return dw_now;
}

namespace {
// The tables stay reachable after their test: a guard's refresher thread may
// still read one, and a replaced backend is no leak.
std::vector<platform::MemoryArpTable*>& kept_tables() {
  static std::vector<platform::MemoryArpTable*>* tables = new std::vector<platform::MemoryArpTable*>();
  return *tables;
}
}  // namespace

GuardEnv::GuardEnv(const Policy& setup) {
  kept_tables().push_back(p_table);
  std::string tmpl = (std::filesystem::temp_directory_path() / "arpguard-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
  str_home = tmpl;
  HEnvironment::set_home(HString(str_home));
  HDataCenter::set_core_dir(HString(str_home + "/core"));
  platform::set_arp_table_backend(p_table);

  HSysInfoMgr::ins().set_virtual(HString(kHostIp), HString(kHostMac));
  HNetwrokAdapterNode first{L"veth0", {HString(kGatewayIp)}};
  HNetwrokAdapterNode second{L"veth1", {HString(kGateway2Ip)}};
  HNetworkUtil::set_virtual_adapters({first, second});

  AntiARPSpoofing_Local policy;
  policy.strPolicyID = L"p-guard";
  policy.iStateMask = setup.state_mask;
  policy.iAntiARPSpoofing = setup.mode;
  policy.strBindList = HString(setup.bind_list);
  policy.iAutoBind = setup.auto_bind;
  HDataCenter::GetPolicy()->set_policies({policy}, {});
  HEventCenter::ins().i_state = setup.state_word;
  HEventCenter::ins().b_online = 1;

  HPTWGlobal& global = HPTWGlobal::ins();
  global.vt_arp.assign(1, policy);
  global.audit_report_mgr.init(L"NetSecurity", L"AntiARPSpoofing", L"arc_file\\his_arp_attack", 173, 300);
}

GuardEnv::~GuardEnv() {
  std::error_code ignored;
  std::filesystem::remove_all(str_home, ignored);
}

std::string GuardEnv::general_log() const { return read_file(narrow(HFileLog::ins().file_path())); }

HThreadTidewell& GuardEnv::make_guard() {
  HThreadTidewell* guard = new HThreadTidewell();
  HPTWGlobal::ins().p_thread_tidewell = guard;
  return *guard;
}

HTestThread& GuardEnv::probe() {
  HPTWGlobal& global = HPTWGlobal::ins();
  if (!global.p_test_thread) global.p_test_thread = new HTestThread(HString(kHostIp), HString(kHostMac));
  return *global.p_test_thread;
}

}  // namespace arpguard_test
