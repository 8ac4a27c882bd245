#include "tests/support/FakeTicks.h"

#include "platform/WinTime.h"

namespace tidewell_test {

FakeTicks::FakeTicks(DWORD start) : dw_now(start) {
  platform::set_tick_source([this] { return now(); });
}

FakeTicks::~FakeTicks() { platform::set_tick_source(nullptr); }

void FakeTicks::set(DWORD value) {
  std::lock_guard<std::mutex> lock(mtx_now);
  dw_now = value;
}

void FakeTicks::advance(DWORD ms) {
  std::lock_guard<std::mutex> lock(mtx_now);
  dw_now += ms;
}

DWORD FakeTicks::now() {
  std::lock_guard<std::mutex> lock(mtx_now);
  return dw_now;
}

}  // namespace tidewell_test
