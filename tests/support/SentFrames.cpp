#include "tests/support/SentFrames.h"

#include "host/HWinPCapHelper.h"

namespace tidewell_test {

SentFrames::SentFrames() {
  HWinPCapHelper::instance().set_send_sink([this](const unsigned char* frame, int len) {
    std::lock_guard<std::mutex> lock(mtx_frames);
    vt_frames.emplace_back(frame, frame + (len > 0 ? len : 0));
  });
}

SentFrames::~SentFrames() { HWinPCapHelper::instance().set_send_sink(nullptr); }

std::vector<std::vector<unsigned char>> SentFrames::frames() {
  std::lock_guard<std::mutex> lock(mtx_frames);
  return vt_frames;
}

size_t SentFrames::count() {
  std::lock_guard<std::mutex> lock(mtx_frames);
  return vt_frames.size();
}

}  // namespace tidewell_test
