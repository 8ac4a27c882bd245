#include "tests/support/arpwatch_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "frame/HPTWGlobal.h"
#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HNetworkUtil.h"
#include "host/HSysInfoMgr.h"
#include "host/HWinPCapHelper.h"
#include "platform/IpHelper.h"
#include "platform/WinTime.h"

namespace arpwatch_test {

const char kHostIp[] = "10.77.0.10";
const char kHostMac[] = "02:77:00:00:00:0a";
const char kGatewayIp[] = "10.77.0.1";
const char kGatewayMac[] = "02:77:00:00:00:01";
const char kSpooferMac[] = "02:77:00:00:00:66";

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::invalid_argument("not a hex digit");
}

void put(Bytes& frame, size_t offset, const Bytes& value) {
  for (size_t i = 0; i < value.size(); ++i) frame[offset + i] = value[i];
}

void put16(Bytes& frame, size_t offset, uint16_t value) {
  frame[offset] = static_cast<unsigned char>(value >> 8);
  frame[offset + 1] = static_cast<unsigned char>(value & 0xff);
}

}  // namespace

Bytes mac_bytes(const std::string& mac) {
  if (mac.size() != 17) throw std::invalid_argument("MAC text: " + mac);
  Bytes out;
  for (size_t i = 0; i < 17; i += 3) out.push_back(static_cast<unsigned char>(hex_digit(mac[i]) * 16 + hex_digit(mac[i + 1])));
  return out;
}

Bytes ip_bytes(const std::string& ip) {
  Bytes out;
  std::istringstream in(ip);
  std::string part;
  while (std::getline(in, part, '.')) out.push_back(static_cast<unsigned char>(std::stoi(part)));
  if (out.size() != 4) throw std::invalid_argument("IPv4 text: " + ip);
  return out;
}

Bytes arp_frame(const ArpFields& f, size_t length) {
  Bytes frame(60, 0);
  put(frame, 0, mac_bytes(f.eth_dst));
  put(frame, 6, mac_bytes(f.eth_src.empty() ? f.sender_mac : f.eth_src));
  put16(frame, 12, 0x0806);
  put16(frame, 14, 1);
  put16(frame, 16, 0x0800);
  frame[18] = 6;
  frame[19] = 4;
  put16(frame, 20, f.op);
  put(frame, 22, mac_bytes(f.sender_mac));
  put(frame, 28, ip_bytes(f.sender_ip));
  put(frame, 32, mac_bytes(f.target_mac));
  put(frame, 38, ip_bytes(f.target_ip));
  frame.resize(length, 0);
  return frame;
}

Bytes marked_frame(const ArpFields& fields) {
  static const char kMarker[] = "KivoHarborProbe";  // and three zero bytes
  Bytes frame = arp_frame(fields, 60);
  for (size_t i = 0; i < 18; ++i) frame[42 + i] = i < 15 ? static_cast<unsigned char>(kMarker[i]) : 0;
  return frame;
}

Bytes expected_request(const std::string& ip, const std::string& old_mac) {
  ArpFields f;
  f.op = 1;
  f.eth_dst = old_mac;
  f.sender_mac = kHostMac;
  f.sender_ip = kHostIp;
  f.target_mac = old_mac;
  f.target_ip = ip;
  return arp_frame(f, 60);
}

std::string hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xf];
  }
  return out;
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

SentFrames::SentFrames() {
  HWinPCapHelper::instance().set_send_sink([this](const unsigned char* frame, int len) {
    std::lock_guard<std::mutex> lock(mtx_frames);
    vt_frames.emplace_back(frame, frame + (len > 0 ? len : 0));
  });
}

SentFrames::~SentFrames() { HWinPCapHelper::instance().set_send_sink(nullptr); }

std::vector<Bytes> SentFrames::frames() {
  std::lock_guard<std::mutex> lock(mtx_frames);
  return vt_frames;
}

size_t SentFrames::count() {
  std::lock_guard<std::mutex> lock(mtx_frames);
  return vt_frames.size();
}

void SentFrames::clear() {
  std::lock_guard<std::mutex> lock(mtx_frames);
  vt_frames.clear();
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

WatchEnv::WatchEnv(const PolicySetup& setup) {
  char templ[] = "/tmp/arpwatch-test-XXXXXX";
  if (!mkdtemp(templ)) throw std::runtime_error("mkdtemp");
  str_home = templ;
  HEnvironment::set_home(HString(str_home));
  HDataCenter::set_core_dir(HString(str_home + "/core"));
  platform::set_arp_table_backend(p_arp_table);

  HSysInfoMgr::ins().set_virtual(HString(kHostIp), HString(kHostMac));
  HNetwrokAdapterNode adapter;
  adapter.str_name = L"veth0";
  adapter.vt_gateway.push_back(HString(kGatewayIp));
  HNetworkUtil::set_virtual_adapters({adapter});

  AntiARPSpoofing_Local policy;
  policy.strPolicyID = L"p1";
  policy.iStateMask = setup.state_mask;
  policy.iAntiARPSpoofing = setup.mode;
  policy.strBindList = HString(setup.bind_list);
  policy.iAntiDHCPSpoofing = 1;
  policy.iAutoBind = setup.auto_bind;
  HDataCenter::GetPolicy()->set_policies({policy}, {});
  HEventCenter::ins().i_state = setup.state_word;
  HEventCenter::ins().b_online = 1;

  HPTWGlobal& global = HPTWGlobal::ins();
  global.vt_arp.assign(1, policy);
  global.audit_report_mgr.init(L"NetSecurity", L"AntiARPSpoofing", L"arc_file\\his_arp_attack", 173, 300);
}

WatchEnv::~WatchEnv() {
  std::error_code ignored;
  std::filesystem::remove_all(str_home, ignored);
}

std::string WatchEnv::general_log() const { return read_file(narrow(HFileLog::ins().file_path())); }

std::string narrow(const HString& text) { return text.get_str_direct(); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

size_t count_of(const std::string& haystack, const std::string& needle) {
  if (needle.empty()) return 0;
  size_t n = 0;
  for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + needle.size())) ++n;
  return n;
}

}  // namespace arpwatch_test
