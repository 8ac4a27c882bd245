#include "agent/DefaultRoute.h"

#include <fstream>
#include <limits>
#include <sstream>

namespace {

constexpr unsigned long RTF_UP_FLAG = 0x0001;

bool hex_value(const std::string& text, unsigned long& out) {
  if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return false;
  }
  out = std::stoul(text, nullptr, 16);
  return true;
}

}  // namespace

std::string DefaultRoute::interface_from(const std::string& route_table) {
  std::istringstream lines(route_table);
  std::string line;
  std::getline(lines, line);  // column titles
  std::string best;
  long best_metric = std::numeric_limits<long>::max();
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags_text, refcnt, use, mask;
    long metric = 0;
    if (!(fields >> iface >> destination >> gateway >> flags_text >> refcnt >> use >> metric >> mask)) continue;
    unsigned long dest = 1, netmask = 1, flags = 0;
    if (!hex_value(destination, dest) || !hex_value(mask, netmask) || !hex_value(flags_text, flags)) continue;
    if (dest != 0 || netmask != 0 || (flags & RTF_UP_FLAG) == 0) continue;
    if (metric < best_metric) {
      best_metric = metric;
      best = iface;
    }
  }
  return best;
}

std::string DefaultRoute::interface_name() {
  std::ifstream file("/proc/net/route");
  std::ostringstream text;
  text << file.rdbuf();
  return interface_from(text.str());
}
