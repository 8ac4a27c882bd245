#pragma once
// Where the fields of the frames this system reads and sends stand:
// Ethernet II, the ARP body of RFC 826 for IPv4 over Ethernet, IPv4, UDP and
// the fixed part of a DHCP message. Offsets of a header are counted from its
// first byte; those named kFrame... from the start of the Ethernet frame.
#include <cstdint>

class HWireLayout {
 public:
  // Ethernet II.
  static constexpr int kEthDst = 0;
  static constexpr int kEthSrc = 6;
  static constexpr int kEthType = 12;
  static constexpr int kEthHeaderLen = 14;
  static constexpr int kMacLen = 6;
  static constexpr int kMinFrameLen = 60;  // without the frame check sequence
  static constexpr uint16_t kEtherTypeIpv4 = 0x0800;
  static constexpr uint16_t kEtherTypeArp = 0x0806;
  static constexpr uint16_t kEtherTypeVlan = 0x8100;
  static constexpr int kVlanTagLen = 4;

  // The ARP body.
  static constexpr int kArpHardware = 0;
  static constexpr int kArpProtocol = 2;
  static constexpr int kArpHardwareLen = 4;
  static constexpr int kArpProtocolLen = 5;
  static constexpr int kArpOp = 6;
  static constexpr int kArpSenderMac = 8;
  static constexpr int kArpSenderIp = 14;
  static constexpr int kArpTargetMac = 18;
  static constexpr int kArpTargetIp = 24;
  static constexpr int kArpBodyLen = 28;
  static constexpr uint16_t kArpHardwareEthernet = 1;
  static constexpr uint16_t kArpRequest = 1;
  static constexpr uint16_t kArpReply = 2;
  static constexpr int kFrameArpOp = kEthHeaderLen + kArpOp;
  static constexpr int kFrameArpSenderIp = kEthHeaderLen + kArpSenderIp;
  static constexpr int kFrameArpTargetIp = kEthHeaderLen + kArpTargetIp;
  static constexpr int kArpFrameLen = kEthHeaderLen + kArpBodyLen;  // no padding

  // IPv4 and UDP.
  static constexpr int kIpv4Len = 4;
  static constexpr int kIpTotalLen = 2;
  static constexpr int kIpFragment = 6;
  static constexpr int kIpProtocol = 9;
  static constexpr int kIpSource = 12;
  static constexpr int kIpDestination = 16;
  static constexpr int kIpMinHeaderLen = 20;
  static constexpr unsigned char kIpProtocolUdp = 17;
  static constexpr int kUdpSourcePort = 0;
  static constexpr int kUdpDestinationPort = 2;
  static constexpr int kUdpLen = 4;
  static constexpr int kUdpHeaderLen = 8;

  // The DHCP message: op, ciaddr, yiaddr, chaddr, then the options after the
  // 236-byte fixed part and the magic cookie.
  static constexpr int kDhcpOp = 0;
  static constexpr int kDhcpCiaddr = 12;
  static constexpr int kDhcpYiaddr = 16;
  static constexpr int kDhcpChaddr = 28;
  static constexpr int kDhcpFixedLen = 236;
  static constexpr int kDhcpOptions = kDhcpFixedLen + 4;
};

static_assert(HWireLayout::kEthType + 2 == HWireLayout::kEthHeaderLen, "the type ends the Ethernet header");
static_assert(HWireLayout::kArpSenderMac + HWireLayout::kMacLen == HWireLayout::kArpSenderIp, "sender MAC, sender IP");
static_assert(HWireLayout::kArpSenderIp + HWireLayout::kIpv4Len == HWireLayout::kArpTargetMac, "sender, then target");
static_assert(HWireLayout::kArpTargetMac + HWireLayout::kMacLen == HWireLayout::kArpTargetIp, "target MAC, target IP");
static_assert(HWireLayout::kArpTargetIp + HWireLayout::kIpv4Len == HWireLayout::kArpBodyLen, "the target IP ends it");
static_assert(HWireLayout::kArpFrameLen == 42, "Ethernet header and ARP body");
static_assert(HWireLayout::kDhcpChaddr + 16 + 64 + 128 == HWireLayout::kDhcpFixedLen, "chaddr, sname, file");
