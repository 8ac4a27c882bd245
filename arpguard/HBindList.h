#pragma once
// The policy's configured gateway pairs ("IP-MAC", IP in dotted decimal and
// a 17-character MAC), searched as plain text. A match counts only where a
// pair can start: at the start of the list or after a character that cannot
// be part of an IPv4 text. So "2.168.1.1-" is not found inside
// "192.168.1.1-", and one gateway is never bound to another's MAC.
#include "host/HString.h"

class HBindList {
 public:
  enum class Lookup { kFound, kMissing, kMalformed };

  explicit HBindList(const HString& text) : str_list(text) {}

  // Whether "ip-mac" stands in the list.
  bool has_pair(const HString& ip, const HString& mac) const;
  // The 17 characters behind the first "ip-": kFound when they are a MAC
  // (six two-digit hex groups), kMalformed when they are not, kMissing when
  // there is no "ip-" or fewer than 17 characters follow it. `mac` gets the
  // 17 characters when they are there, malformed or not.
  Lookup configured_mac(const HString& ip, HString& mac) const;
  // Position of the first occurrence of `key` that starts a pair, or -1.
  int find_pair(const HString& key) const;

 private:
  HString str_list;
};
