#include "tests/support/dhcpguard_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "frame/HPTWGlobal.h"
#include "host/AntiARPSpoofing_Local.h"
#include "host/HDataCenter.h"
#include "host/HEnvironment.h"
#include "host/HEventCenter.h"
#include "host/HFileLog.h"
#include "host/HNetworkProtocolUtil.h"
#include "host/HWinPCapHelper.h"
#include "platform/Utf8.h"
#include "platform/WinTime.h"

// GTK, fontconfig and pango keep caches for the life of the process that
// the leak checker would otherwise report for the tests of real windows.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libgtk-3\nleak:libgdk-3\nleak:libglib-2.0\nleak:libgobject-2.0\n"
         "leak:libpango\nleak:libcairo\nleak:libharfbuzz\nleak:libX11\nleak:libgio-2.0\nleak:libatk\n";
}

namespace dhcpguard_test {

const char kClientMac[] = "02:77:00:00:00:0a";
const char kServerMac[] = "02:77:00:00:00:53";
const char kOfferedIp[] = "10.77.0.50";
const char kGatewayIp[] = "10.77.0.1";
const char kGateway2Ip[] = "10.77.0.2";

namespace {
const char kServerIp[] = "10.77.0.53";

void put(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
void put16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<unsigned char>(value >> 8));
  out.push_back(static_cast<unsigned char>(value & 0xff));
}
void put_zero(Bytes& out, size_t count) { out.insert(out.end(), count, 0); }

uint16_t ip_checksum(const Bytes& frame, size_t offset, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < length; i += 2) sum += (frame[offset + i] << 8) | frame[offset + i + 1];
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}
}  // namespace

Bytes mac_bytes(const std::string& mac) {
  Bytes out(6);
  if (!HNetworkProtocolUtil::MakeMACArrayFromString(mac, out.data())) throw std::runtime_error("bad MAC " + mac);
  return out;
}

Bytes ip_bytes(const std::string& ip) {
  uint32_t value = ip_value(ip);
  Bytes out(4);
  std::memcpy(out.data(), &value, 4);
  return out;
}

uint32_t ip_value(const std::string& ip) {
  uint32_t value = 0;
  if (!HNetworkProtocolUtil::ParseIPString(ip, value)) throw std::runtime_error("bad IP " + ip);
  return value;
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

Bytes routers_option(const std::vector<std::string>& routers) {
  Bytes out = {3, static_cast<unsigned char>(routers.size() * 4)};
  for (const std::string& router : routers) put(out, ip_bytes(router));
  return out;
}

Bytes options(uint8_t msg_type, const std::vector<std::string>& routers) {
  Bytes out = {53, 1, msg_type};
  if (!routers.empty()) put(out, routers_option(routers));
  out.push_back(255);
  return out;
}

Bytes dhcp_frame(const DhcpFields& f) {
  Bytes frame;
  put(frame, mac_bytes(f.eth_dst));
  put(frame, mac_bytes(f.eth_src));
  put16(frame, 0x0800);
  size_t udp_len = 8 + 236 + 4 + f.options.size();
  // IPv4 header.
  frame.push_back(0x45);
  frame.push_back(0);
  put16(frame, static_cast<uint16_t>(20 + udp_len));
  put16(frame, 0x1234);
  put16(frame, 0);
  frame.push_back(64);
  frame.push_back(17);
  put16(frame, 0);
  put(frame, ip_bytes(kServerIp));
  put(frame, ip_bytes(f.yiaddr != "0.0.0.0" ? f.yiaddr : f.ciaddr));
  uint16_t checksum = ip_checksum(frame, 14, 20);
  frame[24] = static_cast<unsigned char>(checksum >> 8);
  frame[25] = static_cast<unsigned char>(checksum & 0xff);
  // UDP header, no checksum.
  put16(frame, 67);
  put16(frame, 68);
  put16(frame, static_cast<uint16_t>(udp_len));
  put16(frame, 0);
  // DHCP fixed part.
  frame.push_back(f.op);
  frame.push_back(1);
  frame.push_back(6);
  frame.push_back(0);
  put(frame, {0x5e, 0xed, 0x00, 0x01});  // xid
  put_zero(frame, 4);                     // secs, flags (unicast)
  put(frame, ip_bytes(f.ciaddr));
  put(frame, ip_bytes(f.yiaddr));
  put(frame, ip_bytes(kServerIp));  // siaddr
  put_zero(frame, 4);               // giaddr
  put(frame, mac_bytes(f.eth_dst));
  put_zero(frame, 10 + 64 + 128);  // chaddr padding, sname, file
  put(frame, {99, 130, 83, 99});   // magic cookie
  put(frame, f.options);
  return frame;
}

Bytes probe_request(const std::string& client_mac, const std::string& client_ip, const std::string& gateway_ip,
                    bool counting_padding) {
  Bytes frame;
  put(frame, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
  put(frame, mac_bytes(client_mac));
  put(frame, {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01});
  put(frame, mac_bytes(client_mac));
  put(frame, ip_bytes(client_ip));
  put_zero(frame, 6);
  put(frame, ip_bytes(gateway_ip));
  for (unsigned char i = 42; i < 60; ++i) frame.push_back(counting_padding ? i : 0);
  return frame;
}

Bytes arp_frame(const std::string& sender_ip, const std::string& sender_mac, uint16_t op, size_t length) {
  Bytes frame;
  put(frame, op == 1 ? Bytes(6, 0xff) : mac_bytes(kClientMac));
  put(frame, mac_bytes(sender_mac));
  put(frame, {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 0x06, 0x04});
  put16(frame, op);
  put(frame, mac_bytes(sender_mac));
  put(frame, ip_bytes(sender_ip));
  put(frame, op == 1 ? Bytes(6, 0) : mac_bytes(kClientMac));
  put(frame, ip_bytes(kOfferedIp));
  put_zero(frame, 18);
  frame.resize(length, 0);
  return frame;
}

DhcpEnv::DhcpEnv() {
  char templ[] = "/tmp/dhcpguard-test-XXXXXX";
  if (!mkdtemp(templ)) throw std::runtime_error("mkdtemp");
  str_home = templ;
  HEnvironment::set_home(HString(str_home));
  HDataCenter::set_core_dir(HString(str_home + "/core"));
  AntiARPSpoofing_Local policy;
  policy.strPolicyID = L"p-dhcp";
  policy.iStateMask = 1;
  policy.iAntiARPSpoofing = 0;
  policy.iAntiDHCPSpoofing = 1;
  HDataCenter::GetPolicy()->set_policies({policy}, {});
  HEventCenter::ins().b_online = 1;
  HPTWGlobal& global = HPTWGlobal::ins();
  global.vt_arp.assign(1, policy);
  global.audit_report_mgr.init(L"NetSecurity", L"AntiARPSpoofing", L"arc_file\\his_arp_attack", 173, 300);
}

DhcpEnv::~DhcpEnv() {
  std::error_code ignored;
  std::filesystem::remove_all(str_home, ignored);
}

std::string DhcpEnv::attack_log() const { return read_file(str_home + "/log/Attack.log"); }

std::string DhcpEnv::general_log() const { return read_file(narrow(HFileLog::ins().file_path())); }

SentFrames::SentFrames() {
  HWinPCapHelper::instance().set_send_sink([this](const unsigned char* frame, int len) {
    std::lock_guard<std::mutex> lock(mtx_frames);
    vt_frames.emplace_back(frame, frame + len);
  });
}

SentFrames::~SentFrames() { HWinPCapHelper::instance().set_send_sink(nullptr); }

std::vector<Bytes> SentFrames::frames() {
  std::lock_guard<std::mutex> lock(mtx_frames);
  return vt_frames;
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

FakeTicks::FakeTicks(DWORD start) : dw_now(start) {
  platform::set_tick_source([this] {
    std::lock_guard<std::mutex> lock(mtx_now);
    return dw_now;
  });
}

FakeTicks::~FakeTicks() { platform::set_tick_source(nullptr); }

void FakeTicks::set(DWORD now) {
  std::lock_guard<std::mutex> lock(mtx_now);
  dw_now = now;
}

void FakeTicks::advance(DWORD ms) {
  std::lock_guard<std::mutex> lock(mtx_now);
  dw_now += ms;
}

namespace {

bool find_in_path(const char* program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Xvfb picks a free display and writes its number to fd 3. A watcher shell
// stops it once this process is gone (or when it loses its last client).
bool launch_xvfb() {
  if (!find_in_path("Xvfb")) return false;
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::string parent = std::to_string(getpid());
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    dup2(fds[1], 3);
    if (fds[0] != 3) close(fds[0]);
    if (fds[1] != 3) close(fds[1]);
    std::string script = "Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 -terminate >/dev/null 2>&1 & x=$!; "
                         "exec 3>&-; while kill -0 " + parent + " 2>/dev/null && kill -0 $x 2>/dev/null; "
                         "do sleep 0.2; done; kill $x 2>/dev/null";
    execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  struct pollfd pfd = {fds[0], POLLIN, 0};
  for (int waited = 0; waited < 10000 && number.find('\n') == std::string::npos;) {
    int ready = poll(&pfd, 1, 100);
    waited += 100;
    if (ready <= 0) continue;
    char buf[16];
    ssize_t n = read(fds[0], buf, sizeof(buf));
    if (n <= 0) break;
    number.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (number.empty() || number[0] < '0' || number[0] > '9') return false;
  std::string display = ":" + number.substr(0, number.find('\n'));
  setenv("DISPLAY", display.c_str(), 1);
  return true;
}

}  // namespace

bool start_private_display() {
  static const bool started = [] {
    setenv("NO_AT_BRIDGE", "1", 1);
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return true;
    return launch_xvfb();
  }();
  return started;
}

bool eventually(const std::function<bool()>& done, int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

HWND wait_for_window(const HString& title, int timeout_ms) {
  HWND found = nullptr;
  eventually([&] { return (found = FindWindowW(nullptr, title.wc_str())) != nullptr && IsWindowVisible(found); },
             timeout_ms);
  return found && IsWindowVisible(found) ? found : nullptr;
}

bool wait_window_gone(HWND window, int timeout_ms) {
  return eventually([window] { return !IsWindow(window); }, timeout_ms);
}

std::wstring window_text(HWND window) {
  LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::string narrow(const HString& text) { return text.get_str_direct(); }

std::string utf8(const std::wstring& text) { return platform::wide_to_utf8(text); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

size_t count_of(const std::string& haystack, const std::string& needle) {
  if (needle.empty()) return 0;
  size_t n = 0;
  for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + needle.size())) {
    ++n;
  }
  return n;
}

}  // namespace dhcpguard_test
