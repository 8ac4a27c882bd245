#pragma once
// The agent's event center: an online flag and a state word, read by the
// plug-in without a lock (single byte and aligned 32-bit word).
#include <cstdint>

class HEventCenter {
 public:
  static HEventCenter& ins();
  volatile unsigned char b_online = 1;
  volatile uint32_t i_state = 1;
};
