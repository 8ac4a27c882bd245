#pragma once
// Stands in for the agent core until the object goes: records every block
// it is given and accepts or refuses it as told (accepts by default). Its
// accessors first wait until the reports queued so far have reached it.
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"

namespace tidewell_test {

typedef std::vector<ARPSpoofingReport_Local> Block;

class CoreRecorder {
 public:
  CoreRecorder();
  ~CoreRecorder();

  // Accept everything (true) or refuse everything (false).
  void accept_all(bool accept);
  // Decide per block; the block is recorded whatever the answer.
  void decide(std::function<bool(const Block&)> decision);
  std::vector<Block> blocks();
  size_t calls();
  // The records of all blocks, in order (empty blocks add nothing).
  std::vector<ARPSpoofingReport_Local> reports();
  // Their report ids.
  std::vector<std::string> ids();

 private:
  std::mutex mtx_blocks;
  std::vector<Block> vt_blocks;
  std::function<bool(const Block&)> fn_decision;
};

}  // namespace tidewell_test
