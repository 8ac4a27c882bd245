// frame_inject [--vlan ID] IFACE HEXFRAME [count] [interval_ms]
//
// Sends one Ethernet frame, given as hex (separators ':', '-', ' ' and '.'
// allowed), `count` times on IFACE through an AF_PACKET socket, `interval_ms`
// apart. The frame goes out exactly as given: no padding, no checksum, so
// short or malformed frames can be sent on purpose. With --vlan an 802.1Q
// tag of VLAN ID (0..4095, priority 0) is put behind the MACs. Needs
// CAP_NET_RAW.
// Exit codes: 0 sent, 1 system error, 2 bad usage.
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/LabTool.h"
#include "wire/HWireLayout.h"

namespace {

constexpr size_t kMaxFrame = 1514;  // Ethernet without FCS
constexpr long kMaxCount = 10000;
constexpr long kMaxIntervalMs = 60000;
constexpr long kMaxVlanId = 4095;

int usage(const char* why) {
  std::fprintf(stderr, "frame_inject: %s\nusage: frame_inject [--vlan ID] IFACE HEXFRAME [count] [interval_ms]\n",
               why);
  return 2;
}

// The hex digits of `text` as bytes, at most kMaxFrame; separators are skipped.
bool parse_hex(const std::string& text, std::vector<unsigned char>& out) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits += c;
    } else if (!std::strchr(":- .", c)) {
      return false;
    }
  }
  if (digits.size() % 2 != 0 || digits.size() > 2 * kMaxFrame) return false;
  for (size_t i = 0; i < digits.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long vlan_id = -1;
  if (argc > 2 && std::strcmp(argv[1], "--vlan") == 0) {
    if (!parse_number(argv[2], 0, kMaxVlanId, vlan_id)) return usage("--vlan ID must be 0..4095");
    argc -= 2;
    argv += 2;
  }
  if (argc < 3 || argc > 5) return usage("wrong number of arguments");
  std::vector<unsigned char> frame;
  if (!parse_hex(argv[2], frame)) return usage("HEXFRAME is not an even number of hex digits (at most 1514 bytes)");
  if (frame.size() < HWireLayout::kEthHeaderLen) return usage("HEXFRAME is shorter than an Ethernet header (14 bytes)");
  if (vlan_id >= 0) {
    const unsigned char tag[HWireLayout::kVlanTagLen] = {HWireLayout::kEtherTypeVlan >> 8, HWireLayout::kEtherTypeVlan & 0xff,
                                                         static_cast<unsigned char>(vlan_id >> 8),
                                                         static_cast<unsigned char>(vlan_id & 0xff)};
    frame.insert(frame.begin() + HWireLayout::kEthType, tag, tag + sizeof(tag));
  }
  long count = 1;
  long interval_ms = 0;
  if (argc > 3 && !parse_number(argv[3], 1, kMaxCount, count)) return usage("count must be 1..10000");
  if (argc > 4 && !parse_number(argv[4], 0, kMaxIntervalMs, interval_ms)) return usage("interval_ms must be 0..60000");

  sockaddr_ll addr;
  int fd = open_send_socket("frame_inject", argv[1], frame.data(), addr);
  if (fd < 0) return 1;
  int rc = 0;
  for (long i = 0; i < count; ++i) {
    if (i > 0 && interval_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms));
    ssize_t sent = sendto(fd, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    if (sent != static_cast<ssize_t>(frame.size())) {
      std::fprintf(stderr, "frame_inject: send on %s: %s\n", argv[1], sent < 0 ? std::strerror(errno) : "short write");
      rc = 1;
      break;
    }
  }
  close(fd);
  return rc;
}
