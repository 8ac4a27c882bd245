#include "tests/support/CoreRecorder.h"

#include "frame/HPTWGlobal.h"
#include "host/HDataCenter.h"

namespace tidewell_test {

// Reports reach the core on the report thread: what a test reads has gone out.
constexpr DWORD kFlushMs = 10000;

CoreRecorder::CoreRecorder() {
  fn_decision = [](const Block&) { return true; };
  HDataCenter::set_core_hook([this](const Block& block) {
    std::lock_guard<std::mutex> lock(mtx_blocks);
    vt_blocks.push_back(block);
    return fn_decision(block);
  });
}

CoreRecorder::~CoreRecorder() { HDataCenter::set_core_hook(nullptr); }

void CoreRecorder::accept_all(bool accept) {
  decide([accept](const Block&) { return accept; });
}

void CoreRecorder::decide(std::function<bool(const Block&)> decision) {
  std::lock_guard<std::mutex> lock(mtx_blocks);
  fn_decision = std::move(decision);
}

std::vector<Block> CoreRecorder::blocks() {
  HPTWGlobal::ins().flush_reports(kFlushMs);
  std::lock_guard<std::mutex> lock(mtx_blocks);
  return vt_blocks;
}

size_t CoreRecorder::calls() { return blocks().size(); }

std::vector<ARPSpoofingReport_Local> CoreRecorder::reports() {
  std::vector<ARPSpoofingReport_Local> out;
  for (const Block& block : blocks()) out.insert(out.end(), block.begin(), block.end());
  return out;
}

std::vector<std::string> CoreRecorder::ids() {
  std::vector<std::string> out;
  for (const ARPSpoofingReport_Local& r : reports()) out.push_back(r.str_desc.get_str_direct());
  return out;
}

}  // namespace tidewell_test
