#include "host/HIEUtil.h"

#include <thread>

namespace HIEUtil {

NullHandleException::NullHandleException(const char* file, int line)
    : std::runtime_error(std::string("null handle at ") + file + ":" + std::to_string(line)) {}

struct ThreadControl::State {
  std::thread thread;
  std::atomic<bool> alive{true};
  // A control dropped without detach must not end the process.
  ~State() {
    if (thread.joinable()) thread.detach();
  }
};

void ThreadControl::detach() {
  if (state_ && state_->thread.joinable()) state_->thread.detach();
}

void ThreadControl::join() {
  if (state_ && state_->thread.joinable() && state_->thread.get_id() != std::this_thread::get_id()) {
    state_->thread.join();
  }
}

bool ThreadControl::isAlive() const { return state_ && state_->alive.load(); }

ThreadControl Thread::start(size_t /*stack_size*/) {
  ThreadControl control;
  control.state_ = std::make_shared<ThreadControl::State>();
  std::shared_ptr<ThreadControl::State> state = control.state_;
  __incRef();
  try {
    state->thread = std::thread([this, state] {
      run();
      state->alive.store(false);
      __decRef();
    });
  } catch (const std::system_error&) {
    state->alive.store(false);
    __decRef();
    throw NullHandleException("HIEHandle", 38);
  }
  return control;
}

}  // namespace HIEUtil
