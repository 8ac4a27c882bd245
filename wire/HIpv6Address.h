#pragma once
// IPv6 addresses as 16 bytes in network order, and their text: parsed from
// the forms people write ("fe80::1", "fd77:6::1", no zone, no embedded
// IPv4) and written in the shortest form (lower case, the longest run of
// two or more zero groups as "::"), so that texts compare as addresses do.
#include <array>
#include <string>

typedef std::array<unsigned char, 16> HIpv6Address;

namespace HIpv6Text {
// False for anything but eight groups of 1 to 4 hex digits, or fewer with
// one "::".
bool parse(const std::string& text, HIpv6Address& address);
std::string format(const HIpv6Address& address);
std::string format(const unsigned char* bytes);
}  // namespace HIpv6Text
