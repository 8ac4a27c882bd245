#pragma once
// The main IPv4 address and MAC as the system tells them: the one part of
// HSysInfoMgr that each system reads its own way.
#include <string>

// Those of the interface `iface` (UTF-8), or when it is empty of the one the
// system's default route goes through. Texts stay empty where nothing is found.
void read_main_ip_mac(const std::string& iface, std::string& ip, std::string& mac);
