#pragma once
// GetTickCount answers what the test says, until the object goes.
#include <mutex>

#include "platform/WinTypes.h"

namespace tidewell_test {

class FakeTicks {
 public:
  explicit FakeTicks(DWORD start);
  ~FakeTicks();

  void set(DWORD now);
  // Wraps past 0xFFFFFFFF as the real counter does.
  void advance(DWORD ms);
  DWORD now();

 private:
  std::mutex mtx_now;
  DWORD dw_now;
};

}  // namespace tidewell_test
