#include "fuzz/FuzzInput.h"

uint8_t FuzzInput::byte() { return empty() ? 0 : p_data[ul_pos++]; }

uint16_t FuzzInput::u16() {
  uint16_t high = byte();
  return static_cast<uint16_t>(high << 8 | byte());
}

std::string FuzzInput::until(uint8_t stop, size_t max) {
  std::string out;
  while (!empty() && out.size() < max) {
    uint8_t c = p_data[ul_pos++];
    if (c == stop) return out;
    out += static_cast<char>(c);
  }
  return out;
}

std::vector<uint8_t> FuzzInput::take(size_t count) {
  if (count > left()) count = left();
  std::vector<uint8_t> out(p_data + ul_pos, p_data + ul_pos + count);
  ul_pos += count;
  return out;
}
