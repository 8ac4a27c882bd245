#pragma once
// Every frame the plug-in sends lands here instead of on the wire, until
// the object goes.
#include <cstddef>
#include <mutex>
#include <vector>

namespace tidewell_test {

class SentFrames {
 public:
  SentFrames();
  ~SentFrames();

  std::vector<std::vector<unsigned char>> frames();
  size_t count();

 private:
  std::mutex mtx_frames;
  std::vector<std::vector<unsigned char>> vt_frames;
};

}  // namespace tidewell_test
