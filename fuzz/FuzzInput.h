#pragma once
// Reads a fuzz input front to back; every read is checked against what is
// left, and a read past the end yields zeros or an empty piece.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : p_data(data), ul_size(size) {}

  bool empty() const { return ul_pos >= ul_size; }
  size_t left() const { return ul_size - ul_pos; }
  uint8_t byte() { return empty() ? 0 : p_data[ul_pos++]; }
  uint16_t u16() {
    uint16_t high = byte();
    return static_cast<uint16_t>(high << 8 | byte());
  }

  // The bytes up to (not including) the next `stop` byte, at most `max`;
  // the stop byte is consumed.
  std::string until(uint8_t stop, size_t max) {
    std::string out;
    while (!empty() && out.size() < max) {
      uint8_t c = p_data[ul_pos++];
      if (c == stop) return out;
      out += static_cast<char>(c);
    }
    return out;
  }

  // `count` bytes (fewer at the end), in a buffer of exactly that size, so
  // that the sanitizer sees any read past it.
  std::vector<uint8_t> take(size_t count) {
    if (count > left()) count = left();
    std::vector<uint8_t> out(p_data + ul_pos, p_data + ul_pos + count);
    ul_pos += count;
    return out;
  }

 private:
  const uint8_t* p_data;
  size_t ul_size;
  size_t ul_pos = 0;
};
