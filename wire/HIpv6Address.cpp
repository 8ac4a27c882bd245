#include "wire/HIpv6Address.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Groups of "a:b:c" (no "::" inside); false on an empty or long group.
bool parse_groups(const std::string& text, std::vector<unsigned>& groups) {
  if (text.empty()) return true;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(':', start);
    std::string group = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (group.empty() || group.size() > 4) return false;
    unsigned value = 0;
    for (char c : group) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
      value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                                     ? c - '0'
                                                     : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    groups.push_back(value);
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

}  // namespace

namespace HIpv6Text {

bool parse(const std::string& text, HIpv6Address& address) {
  std::vector<unsigned> head;
  std::vector<unsigned> tail;
  size_t gap = text.find("::");
  if (gap != std::string::npos && text.find("::", gap + 1) != std::string::npos) return false;
  if (gap == std::string::npos) {
    if (!parse_groups(text, head) || head.size() != 8) return false;
  } else {
    if (!parse_groups(text.substr(0, gap), head) || !parse_groups(text.substr(gap + 2), tail)) return false;
    if (head.size() + tail.size() > 7) return false;
  }
  address.fill(0);
  for (size_t i = 0; i < head.size(); ++i) {
    address[2 * i] = static_cast<unsigned char>(head[i] >> 8);
    address[2 * i + 1] = static_cast<unsigned char>(head[i]);
  }
  for (size_t i = 0; i < tail.size(); ++i) {
    size_t at = 16 - 2 * (tail.size() - i);
    address[at] = static_cast<unsigned char>(tail[i] >> 8);
    address[at + 1] = static_cast<unsigned char>(tail[i]);
  }
  return true;
}

std::string format(const unsigned char* bytes) {
  unsigned groups[8];
  for (int i = 0; i < 8; ++i) groups[i] = (static_cast<unsigned>(bytes[2 * i]) << 8) | bytes[2 * i + 1];
  int best = -1;
  int best_len = 1;  // a single zero group stays "0"
  for (int i = 0; i < 8;) {
    int run = 0;
    while (i + run < 8 && groups[i + run] == 0) ++run;
    if (run > best_len) {
      best = i;
      best_len = run;
    }
    i += run ? run : 1;
  }
  std::string text;
  char group[8];
  for (int i = 0; i < 8; ++i) {
    if (i == best) {
      text += "::";
      i += best_len - 1;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    std::snprintf(group, sizeof(group), "%x", groups[i]);
    text += group;
  }
  return text;
}

std::string format(const HIpv6Address& address) { return format(address.data()); }

}  // namespace HIpv6Text
