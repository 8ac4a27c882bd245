#include "tests/support/FrameBuilder.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tidewell_test {

Bytes mac_bytes(const std::string& mac) {
  unsigned int b[6] = {0};
  char rest = 0;
  if (mac.size() != 17 ||
      std::sscanf(mac.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &rest) != 6) {
    throw std::invalid_argument("MAC text: " + mac);
  }
  return Bytes(b, b + 6);
}

Bytes ip_bytes(const std::string& ip) {
  in_addr address{};
  if (inet_pton(AF_INET, ip.c_str(), &address) != 1) throw std::invalid_argument("IPv4 text: " + ip);
  Bytes out(4);
  std::memcpy(out.data(), &address, 4);
  return out;
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

FrameBuilder& FrameBuilder::add(const Bytes& bytes) {
  vt_bytes.insert(vt_bytes.end(), bytes.begin(), bytes.end());
  return *this;
}

FrameBuilder& FrameBuilder::add8(uint8_t value) {
  vt_bytes.push_back(value);
  return *this;
}

FrameBuilder& FrameBuilder::add16(uint16_t value) {
  vt_bytes.push_back(static_cast<unsigned char>(value >> 8));
  vt_bytes.push_back(static_cast<unsigned char>(value & 0xff));
  return *this;
}

FrameBuilder& FrameBuilder::add_zero(size_t count) {
  vt_bytes.insert(vt_bytes.end(), count, 0);
  return *this;
}

FrameBuilder& FrameBuilder::set(size_t at, const Bytes& bytes) {
  if (at > vt_bytes.size() || bytes.size() > vt_bytes.size() - at) throw std::out_of_range("frame write past the end");
  if (!bytes.empty()) std::memcpy(vt_bytes.data() + at, bytes.data(), bytes.size());
  return *this;
}

FrameBuilder& FrameBuilder::set16(size_t at, uint16_t value) {
  return set(at, {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value & 0xff)});
}

Bytes arp_frame(const ArpFields& f, size_t length) {
  FrameBuilder frame;
  frame.add_mac(f.eth_dst).add_mac(f.eth_src.empty() ? f.sender_mac : f.eth_src).add16(0x0806);
  frame.add16(1).add16(0x0800).add8(6).add8(4).add16(f.op);
  frame.add_mac(f.sender_mac).add_ip(f.sender_ip).add_mac(f.target_mac).add_ip(f.target_ip);
  Bytes bytes = frame.add_zero(18).bytes();
  bytes.resize(length, 0);
  return bytes;
}

Bytes arp_request(const std::string& eth_dst, const std::string& sender_mac, const std::string& sender_ip,
                  const std::string& target_mac, const std::string& target_ip) {
  FrameBuilder frame;
  frame.add_mac(eth_dst).add_mac(sender_mac).add16(0x0806);
  frame.add16(1).add16(0x0800).add8(6).add8(4).add16(1);  // Ethernet, IPv4, request
  frame.add_mac(sender_mac).add_ip(sender_ip).add_mac(target_mac).add_ip(target_ip);
  return frame.add_zero(18).bytes();
}

Bytes vlan_tagged(const Bytes& frame, uint16_t vlan_id) {
  if (frame.size() < 12) throw std::out_of_range("no room for a VLAN tag");
  FrameBuilder tagged;
  tagged.add(Bytes(frame.begin(), frame.begin() + 12)).add16(0x8100).add16(vlan_id);
  return tagged.add(Bytes(frame.begin() + 12, frame.end())).bytes();
}

}  // namespace tidewell_test
