#pragma once
// Where the fields of the frames this system reads and sends stand:
// Ethernet II, the ARP body of RFC 826 for IPv4 over Ethernet, IPv4, UDP,
// the fixed part of a DHCP message and IPv6's fixed header. Offsets of a
// header are counted from its first byte; those named kFrame... from the
// start of the Ethernet frame.
// Offsets and lengths in bytes, and field values, as plain enumerators.
struct HWireLayout {
  // Ethernet II.
  enum Ethernet : int {
    kEthDst = 0,
    kEthSrc = 6,
    kEthType = 12,
    kEthHeaderLen = 14,
    kMacLen = 6,
    kMinFrameLen = 60,  // without the frame check sequence
    kEtherTypeIpv4 = 0x0800,
    kEtherTypeArp = 0x0806,
    kEtherTypeVlan = 0x8100,
    kEtherTypeIpv6 = 0x86dd,
    kVlanTagLen = 4,
  };

  // The ARP body.
  enum Arp : int {
    kArpHardware = 0,
    kArpProtocol = 2,
    kArpHardwareLen = 4,
    kArpProtocolLen = 5,
    kArpOp = 6,
    kArpSenderMac = 8,
    kArpSenderIp = 14,
    kArpTargetMac = 18,
    kArpTargetIp = 24,
    kArpBodyLen = 28,
    kArpHardwareEthernet = 1,
    kArpRequest = 1,
    kArpReply = 2,
    kFrameArpOp = kEthHeaderLen + kArpOp,
    kFrameArpSenderIp = kEthHeaderLen + kArpSenderIp,
    kFrameArpTargetIp = kEthHeaderLen + kArpTargetIp,
    kArpFrameLen = kEthHeaderLen + kArpBodyLen,  // no padding
  };

  // IPv4 and UDP.
  enum Ipv4Udp : int {
    kIpv4Len = 4,
    kIpTotalLen = 2,
    kIpFragment = 6,
    kIpProtocol = 9,
    kIpSource = 12,
    kIpDestination = 16,
    kIpMinHeaderLen = 20,
    kIpProtocolUdp = 17,
    kUdpSourcePort = 0,
    kUdpDestinationPort = 2,
    kUdpLen = 4,
    kUdpHeaderLen = 8,
  };

  // The DHCP message: op, ciaddr, yiaddr, chaddr, then the options after the
  // 236-byte fixed part and the magic cookie.
  enum Dhcp : int {
    kDhcpOp = 0,
    kDhcpCiaddr = 12,
    kDhcpYiaddr = 16,
    kDhcpChaddr = 28,
    kDhcpFixedLen = 236,
    kDhcpOptions = kDhcpFixedLen + 4,
  };

  // IPv6's fixed header, and the protocol of ICMPv6 behind it.
  enum Ipv6 : int {
    kIpv6PayloadLen = 4,
    kIpv6NextHeader = 6,
    kIpv6HopLimit = 7,
    kIpv6Source = 8,
    kIpv6Destination = 24,
    kIpv6AddressLen = 16,
    kIpv6HeaderLen = 40,
    kIpProtocolIcmpv6 = 58,
  };
};

static_assert(HWireLayout::kEthType + 2 == HWireLayout::kEthHeaderLen, "the type ends the Ethernet header");
static_assert(HWireLayout::kArpSenderMac + HWireLayout::kMacLen == HWireLayout::kArpSenderIp, "sender MAC, sender IP");
static_assert(HWireLayout::kArpSenderIp + HWireLayout::kIpv4Len == HWireLayout::kArpTargetMac, "sender, then target");
static_assert(HWireLayout::kArpTargetMac + HWireLayout::kMacLen == HWireLayout::kArpTargetIp, "target MAC, target IP");
static_assert(HWireLayout::kArpTargetIp + HWireLayout::kIpv4Len == HWireLayout::kArpBodyLen, "the target IP ends it");
static_assert(HWireLayout::kArpFrameLen == 42, "Ethernet header and ARP body");
static_assert(HWireLayout::kDhcpChaddr + 16 + 64 + 128 == HWireLayout::kDhcpFixedLen, "chaddr, sname, file");
static_assert(HWireLayout::kIpv6Source + HWireLayout::kIpv6AddressLen == HWireLayout::kIpv6Destination,
              "source, destination");
static_assert(HWireLayout::kIpv6Destination + HWireLayout::kIpv6AddressLen == HWireLayout::kIpv6HeaderLen,
              "the destination ends the header");
