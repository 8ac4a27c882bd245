#pragma once
// Frames for the tests, built byte by byte from text addresses: a builder
// that appends fields or fills a frame of fixed length in place (every
// write is bounds-checked), and the ARP frame the areas all need.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tidewell_test {

typedef std::vector<unsigned char> Bytes;

// "02:77:00:00:00:0a" -> 6 bytes; "10.77.0.1" -> 4 bytes in network order.
// Both throw std::invalid_argument on bad text.
Bytes mac_bytes(const std::string& mac);
Bytes ip_bytes(const std::string& ip);
std::string hex(const Bytes& bytes);

class FrameBuilder {
 public:
  FrameBuilder() = default;
  // A frame of `length` bytes of `fill`, to be written in place with set*.
  explicit FrameBuilder(size_t length, unsigned char fill = 0) : vt_bytes(length, fill) {}

  FrameBuilder& add(const Bytes& bytes);
  FrameBuilder& add8(uint8_t value);
  FrameBuilder& add16(uint16_t value);  // big-endian
  FrameBuilder& add_zero(size_t count);
  FrameBuilder& add_mac(const std::string& mac) { return add(mac_bytes(mac)); }
  FrameBuilder& add_ip(const std::string& ip) { return add(ip_bytes(ip)); }

  // In place; std::out_of_range past the end.
  FrameBuilder& set(size_t at, const Bytes& bytes);
  FrameBuilder& set16(size_t at, uint16_t value);
  FrameBuilder& set_mac(size_t at, const std::string& mac) { return set(at, mac_bytes(mac)); }

  const Bytes& bytes() const { return vt_bytes; }

 private:
  Bytes vt_bytes;
};

struct ArpFields {
  uint16_t op = 2;
  std::string eth_dst;
  std::string eth_src;  // empty: the sender MAC
  std::string sender_mac;
  std::string sender_ip;
  std::string target_mac;
  std::string target_ip;
};
// An Ethernet II ARP frame of `length` bytes (42 = no padding); padding is
// zero. Shorter lengths cut the frame.
Bytes arp_frame(const ArpFields& fields, size_t length = 60);

// The 60-byte request "who has target_ip" from the sender, to `eth_dst`
// with `target_mac` in its body, written out field by field (a probe asks an
// old MAC directly, a gateway probe broadcasts with an empty target MAC).
Bytes arp_request(const std::string& eth_dst, const std::string& sender_mac, const std::string& sender_ip,
                  const std::string& target_mac, const std::string& target_ip);

// The frame with an 802.1Q tag of `vlan_id` (priority 0) behind its MACs.
Bytes vlan_tagged(const Bytes& frame, uint16_t vlan_id);

}  // namespace tidewell_test
