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
  SentFrames(const SentFrames&) = delete;
  SentFrames& operator=(const SentFrames&) = delete;

  std::vector<std::vector<unsigned char>> frames();
  size_t count();
  void clear();

 private:
  std::mutex mtx_frames;
  std::vector<std::vector<unsigned char>> vt_frames;
};

}  // namespace tidewell_test
