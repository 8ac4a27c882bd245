// Reading "arp -s IP MAC" back, as the guard's command-line checks and the
// replays do: the address as inet_pton takes it and in network byte order,
// and the system's arp program as each system names it.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/ArpCommand.h"

namespace {

bool parse(const std::wstring& line, DWORD& address, BYTE mac[6]) {
  return platform::parse_arp_set_command(line, address, mac);
}

bool parses(const std::wstring& line) {
  DWORD address = 0;
  BYTE mac[6];
  return parse(line, address, mac);
}

// The address rows are those of HIpv4Text (frame_wire_test); here only what
// the wide command line adds.
TEST(ArpCommandAddress, ComesOutInNetworkByteOrderFromAsciiDigitsOnly) {
  DWORD address = 0;
  BYTE mac[6] = {};
  ASSERT_TRUE(parse(L"arp -s 10.77.1.254 02:77:00:00:01:0a", address, mac));
  const unsigned char in_network_order[4] = {10, 77, 1, 254};
  EXPECT_EQ(0, std::memcmp(in_network_order, &address, sizeof(address)));
  EXPECT_EQ(0x0a, mac[5]);
  EXPECT_FALSE(parses(L"arp -s 10.77.1.\uff11 02:77:00:00:01:0a"));  // a digit, but not an ASCII one
  EXPECT_FALSE(parses(L"arp -s 10.77.1.+1 02:77:00:00:01:0a"));
}

TEST(ArpCommandProgram, TheSystemsArpIsNamedAsTheSystemNamesIt) {
  EXPECT_FALSE(parses(L"arping -s 10.77.1.1 02:77:00:00:01:0a"));
  EXPECT_FALSE(parses(L"/usr/sbin/arp.sh -s 10.77.1.1 02:77:00:00:01:0a"));
  EXPECT_FALSE(parses(L"arp -d 10.77.1.1 02:77:00:00:01:0a"));
  EXPECT_FALSE(parses(L"arp -s 10.77.1.1"));
  EXPECT_FALSE(parses(L"arp -s 10.77.1.1 02:77-00:00:01:01"));  // separators mixed
  if (platform::arp_command_uses_dashes()) {
    // Windows: folder and ".exe" may be given, in any case.
    EXPECT_TRUE(parses(L"C:\\Windows\\System32\\ARP.EXE -s 10.77.1.1 02-77-00-00-01-0a"));
    EXPECT_TRUE(parses(L"arp -s 10.77.1.1 02-77-00-00-01-0a"));
  } else {
    EXPECT_TRUE(parses(L"/usr/sbin/arp -s 10.77.1.1 02:77:00:00:01:0a"));
    EXPECT_FALSE(parses(L"/usr/sbin/ARP -s 10.77.1.1 02:77:00:00:01:0a"));
    EXPECT_FALSE(parses(L"arp.exe -s 10.77.1.1 02:77:00:00:01:0a"));
  }
}

}  // namespace
