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

TEST(ArpCommandAddress, ComesOutInNetworkByteOrder) {
  DWORD address = 0;
  BYTE mac[6] = {};
  ASSERT_TRUE(parse(L"arp -s 10.77.1.254 02:77:00:00:01:0a", address, mac));
  unsigned char bytes[4];
  std::memcpy(bytes, &address, sizeof(bytes));
  EXPECT_EQ(10, bytes[0]);
  EXPECT_EQ(77, bytes[1]);
  EXPECT_EQ(1, bytes[2]);
  EXPECT_EQ(254, bytes[3]);
  EXPECT_EQ(0x0a, mac[5]);
  EXPECT_TRUE(parses(L"arp -s 0.0.0.0 02:77:00:00:01:0a"));
  EXPECT_TRUE(parses(L"arp -s 255.255.255.255 02:77:00:00:01:0a"));
}

TEST(ArpCommandAddress, OnlyDottedDecimalWithoutLeadingZerosIsTaken) {
  const wchar_t* kRefused[] = {
      L"arp -s 010.77.1.1 02:77:00:00:01:0a",   // leading zero (octal to some readers)
      L"arp -s 10.77.1.0001 02:77:00:00:01:0a", // four digits
      L"arp -s 10.77.1 02:77:00:00:01:0a",      // three parts
      L"arp -s 10.77.1.1.1 02:77:00:00:01:0a",  // five parts
      L"arp -s 10.77..1 02:77:00:00:01:0a",     // empty part
      L"arp -s 10.77.1.1. 02:77:00:00:01:0a",   // trailing dot
      L"arp -s 10.77.1.256 02:77:00:00:01:0a",  // beyond a byte
      L"arp -s 10.77.1.\uff11 02:77:00:00:01:0a", // a digit, but not an ASCII one
      L"arp -s 10.77.1.+1 02:77:00:00:01:0a",
  };
  for (const wchar_t* line : kRefused) EXPECT_FALSE(parses(line)) << line;
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
