#pragma once
// A command-line number of the lab tools: decimal, whole, within [low, high].
#include <cerrno>
#include <cstdlib>

inline bool parse_number(const char* text, long low, long high, long& out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  out = v;
  return true;
}
