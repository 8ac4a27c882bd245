#pragma once
// The host's IPv4 adapters as IP Helper lists them (GetAdaptersInfo), in
// plain types, for the host layer's files that cannot see <windows.h>.
#include <string>
#include <vector>

struct NativeAdapter {
  std::string str_name;         // the adapter's name (its GUID)
  std::string str_description;  // what the user sees
  std::string str_ip;           // first IPv4 address, "" when none
  std::string str_mac;          // "aa:bb:cc:dd:ee:ff", "" unless 6 bytes
  std::vector<std::string> vt_gateway;
};

// 0, or -1 when the adapters cannot be read.
int read_native_adapters(std::vector<NativeAdapter>& adapters);
