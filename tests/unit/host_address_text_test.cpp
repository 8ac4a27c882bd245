// The address texts written per frame must be exactly the texts the rest of
// the system compares with: dotted decimal without leading zeros, MACs in
// lower-case hex with ":".
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/HArpNode.h"
#include "host/HNetworkProtocolUtil.h"

namespace {

std::string printf_ip(const unsigned char* b) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return buf;
}

std::string printf_mac(const unsigned char* b) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
  return buf;
}

TEST(HostAddressText, EveryByteValueInEveryPositionMatchesPrintf) {
  for (int position = 0; position < 6; ++position) {
    for (int value = 0; value < 256; ++value) {
      unsigned char bytes[6] = {10, 77, 0, 1, 0xab, 0x0c};
      bytes[position] = static_cast<unsigned char>(value);
      char ip[HNetworkProtocolUtil::IP_TEXT_MAX];
      char mac[HNetworkProtocolUtil::MAC_TEXT_LEN];
      if (position < 4) {
        ASSERT_EQ(printf_ip(bytes), std::string(ip, HNetworkProtocolUtil::FormatIP(bytes, ip)));
      }
      ASSERT_EQ(printf_mac(bytes), std::string(mac, HNetworkProtocolUtil::FormatMAC(bytes, mac)));
    }
  }
}

TEST(HostAddressText, LongestTextsFillTheBuffersExactly) {
  const unsigned char widest[6] = {255, 255, 255, 255, 255, 255};
  char ip[HNetworkProtocolUtil::IP_TEXT_MAX + 1];
  ip[HNetworkProtocolUtil::IP_TEXT_MAX] = '#';
  EXPECT_EQ(15u, HNetworkProtocolUtil::FormatIP(widest, ip));
  EXPECT_EQ('#', ip[15]);
  EXPECT_EQ("255.255.255.255", HNetworkProtocolUtil::GetIPString(0xffffffffu, true));
  EXPECT_EQ("ff:ff:ff:ff:ff:ff", HNetworkProtocolUtil::GetMACString(widest));
}

TEST(HostAddressText, ArpNodeTextsComeFromTheRightFields) {
  const unsigned char body[ARP_BODY_LEN] = {0, 1, 8, 0, 6, 4, 0, 2,               // reply
                                            2, 0x77, 0, 0, 0, 1, 10, 77, 0, 1,    // sender
                                            2, 0x77, 0, 0, 0, 0xa, 10, 77, 0, 10};  // target
  HArpNode node;
  ASSERT_EQ(0, HNetworkProtocolUtil::MakeArpNode(body, node));
  EXPECT_EQ(2, node.op);
  EXPECT_EQ("10.77.0.1", node.sender_ip);
  EXPECT_EQ("02:77:00:00:00:01", node.sender_mac);
  EXPECT_EQ("10.77.0.10", node.target_ip);
  EXPECT_EQ("02:77:00:00:00:0a", node.target_mac);
}

}  // namespace
