#pragma once
// The one way ARP frames are built: a 60-byte frame (Ethernet header, ARP
// body for IPv4 over Ethernet, zero padding).
#include <cstdint>
#include <cstring>

#include "wire/HWireLayout.h"

class HArpFrame {
 public:
  using Bytes = unsigned char[HWireLayout::kMinFrameLen];

  // Addresses as on the wire (IPv4 in network byte order). A null `eth_dst`
  // broadcasts; a null `target_mac` leaves it zero.
  static void build(Bytes& frame, uint16_t op, const unsigned char* eth_dst, const unsigned char* sender_mac,
                    uint32_t sender_ip, const unsigned char* target_mac, uint32_t target_ip) {
    using L = HWireLayout;
    std::memset(frame, 0, sizeof(frame));
    if (eth_dst) {
      std::memcpy(frame + L::kEthDst, eth_dst, L::kMacLen);
    } else {
      std::memset(frame + L::kEthDst, 0xff, L::kMacLen);
    }
    std::memcpy(frame + L::kEthSrc, sender_mac, L::kMacLen);
    put_u16(frame + L::kEthType, L::kEtherTypeArp);
    unsigned char* body = frame + L::kEthHeaderLen;
    put_u16(body + L::kArpHardware, L::kArpHardwareEthernet);
    put_u16(body + L::kArpProtocol, L::kEtherTypeIpv4);
    body[L::kArpHardwareLen] = L::kMacLen;
    body[L::kArpProtocolLen] = L::kIpv4Len;
    put_u16(body + L::kArpOp, op);
    std::memcpy(body + L::kArpSenderMac, sender_mac, L::kMacLen);
    std::memcpy(body + L::kArpSenderIp, &sender_ip, L::kIpv4Len);
    if (target_mac) std::memcpy(body + L::kArpTargetMac, target_mac, L::kMacLen);
    std::memcpy(body + L::kArpTargetIp, &target_ip, L::kIpv4Len);
  }

 private:
  static void put_u16(unsigned char* at, uint16_t value) {
    at[0] = static_cast<unsigned char>(value >> 8);
    at[1] = static_cast<unsigned char>(value & 0xff);
  }
};
