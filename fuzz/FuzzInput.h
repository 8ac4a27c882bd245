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
  uint8_t byte();
  uint16_t u16();
  // The bytes up to (not including) the next `stop` byte, at most `max`;
  // the stop byte is consumed.
  std::string until(uint8_t stop, size_t max);
  // `count` bytes (fewer at the end), in a buffer of exactly that size, so
  // that the sanitizer sees any read past it.
  std::vector<uint8_t> take(size_t count);

 private:
  const uint8_t* p_data;
  size_t ul_size;
  size_t ul_pos = 0;
};
