#include "host/HIEUtil.h"

#include <system_error>
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

namespace {
std::atomic<int> g_failing_starts{0};

// Takes one of the starts that a test asked to fail.
bool take_failing_start() {
  int left = g_failing_starts.load();
  while (left > 0 && !g_failing_starts.compare_exchange_weak(left, left - 1)) {
  }
  return left > 0;
}
}  // namespace

void Thread::fail_next_start_for_test(int count) { g_failing_starts.store(count); }

ThreadControl Thread::start(size_t /*stack_size*/) {
  ThreadControl control;
  control.state_ = std::make_shared<ThreadControl::State>();
  std::shared_ptr<ThreadControl::State> state = control.state_;
  __incRef();
  try {
    if (take_failing_start()) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
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
