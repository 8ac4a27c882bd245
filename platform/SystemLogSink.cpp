// The test seam of the system log, the same on every system: while a sink
// is set, lines go to it instead of the system's log.
#include "platform/SystemLog.h"

#include <mutex>

namespace {

struct SinkSeam {
  std::mutex mtx;
  std::function<void(const std::string&)> fn;
};

SinkSeam& sink_seam() {
  static SinkSeam* seam = new SinkSeam();
  return *seam;
}

}  // namespace

namespace platform {

bool system_log_to_sink(const std::string& line) {
  std::lock_guard<std::mutex> lock(sink_seam().mtx);
  if (!sink_seam().fn) return false;
  sink_seam().fn(line);
  return true;
}

void set_system_log_sink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(sink_seam().mtx);
  sink_seam().fn = std::move(sink);
}

}  // namespace platform
