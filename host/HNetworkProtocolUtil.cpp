#include "host/HNetworkProtocolUtil.h"

#include <cstring>

#include "wire/HIpv4Text.h"
#include "wire/HMacText.h"

std::string HNetworkProtocolUtil::GetIPString(unsigned long address, bool network_order) {
  uint32_t value = static_cast<uint32_t>(address);
  unsigned char b[4];
  if (network_order) {
    std::memcpy(b, &value, sizeof(b));
  } else {
    b[0] = static_cast<unsigned char>(value >> 24);
    b[1] = static_cast<unsigned char>(value >> 16);
    b[2] = static_cast<unsigned char>(value >> 8);
    b[3] = static_cast<unsigned char>(value);
  }
  return HIpv4Text::text(b);
}

std::string HNetworkProtocolUtil::GetMACString(const unsigned char* bytes) {
  return bytes ? HMacText::text(bytes) : std::string();
}

bool HNetworkProtocolUtil::MakeMACArrayFromString(const std::string& text, unsigned char* bytes) {
  return HMacText::parse(text, bytes);
}

int HNetworkProtocolUtil::MakeArpNode(const unsigned char* body, HArpNode& node) {
  using L = HWireLayout;
  if (!body) return -1;
  // The operation is 16 bits on the wire; anything above 255 is no known one.
  node.op = body[L::kArpOp] == 0 ? body[L::kArpOp + 1] : 0;
  // Written into the node's own strings: a node reused for every claim
  // keeps their storage.
  char text[HMacText::kLen > HIpv4Text::kMaxLen ? HMacText::kLen : HIpv4Text::kMaxLen];
  node.sender_mac.assign(text, HMacText::format(body + L::kArpSenderMac, text));
  node.sender_ip.assign(text, HIpv4Text::format(body + L::kArpSenderIp, text));
  node.target_mac.assign(text, HMacText::format(body + L::kArpTargetMac, text));
  node.target_ip.assign(text, HIpv4Text::format(body + L::kArpTargetIp, text));
  return 0;
}

bool HNetworkProtocolUtil::ParseIPString(const std::string& text, uint32_t& address) {
  return HIpv4Text::parse(text, address);
}
