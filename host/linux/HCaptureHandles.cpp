// The capture helper's handles on Linux: opened for the check and the
// capture, broken out of and closed.
#include <unistd.h>

#include "host/linux/HCaptureNative.h"
#include "host/HWinPCapHelperImpl.h"

std::string HWinPCapHelper::library_version() {
  const char* version = pcap_lib_version();
  return version == nullptr ? std::string("libpcap: no version") : std::string(version);
}

int HWinPCapHelper::Impl::load_library() {
  const char* version = pcap_lib_version();
  if (version == nullptr || *version == '\0') {
    set_error("libpcap is not usable");
    return -1;
  }
  log_line(2, __LINE__, version);
  return 0;
}

bool HWinPCapHelper::Impl::is_open() const { return p_native->p_capture != nullptr; }

// A replay stays open for the capture: the check reads the file's header,
// which a pipe gives only once.
int HWinPCapHelper::Impl::probe_source() {
  Native& native = *p_native;
  if (native.p_capture != nullptr) return 0;
  if (source == Source::live) {
    int result = native.open_live(*this, native.p_capture, false);
    native.close(native.p_capture);
    return result;
  }
  native.close(native.p_checked);
  int result = native.open_replay(*this);
  native.p_checked = native.p_capture;
  native.str_checked_file = str_file;
  native.p_capture = nullptr;
  return result;
}

void HWinPCapHelper::Impl::Native::close(pcap_t*& handle) {
  if (handle != nullptr) pcap_close(handle);
  handle = nullptr;
}

int HWinPCapHelper::Impl::open_source() {
  Native& native = *p_native;
  if (source == Source::live) {
    pcap_t* sender = nullptr;
    int result = native.open_live(*this, native.p_capture, false);
    if (result == 0) result = native.open_live(*this, sender, true);
    std::lock_guard<std::mutex> send_lock(mtx_send);
    native.p_send = sender;
    return result;
  }
  int result = native.open_replay(*this);
  if (result == 0) result = open_sent_file();
  return result;
}

void HWinPCapHelper::Impl::run(Source what, const std::string& name, double speed, std::atomic<bool>& done) {
  if (what == Source::live) {
    p_native->run_live(*this, name);
    return;
  }
  if (speed > 0) {
    p_native->replay_paced(*this, name, speed);
  } else {
    p_native->replay_at_full_speed(*this, name);
  }
  end_replay(name, done);
}

void HWinPCapHelper::Impl::break_loop() {
  if (p_native->p_capture != nullptr) pcap_breakloop(p_native->p_capture);
}

void HWinPCapHelper::Impl::close_handles() {
  Native& native = *p_native;
  if (native.p_capture != nullptr) {
    pcap_close(native.p_capture);
    native.p_capture = nullptr;
  }
  native.close(native.p_checked);
  std::lock_guard<std::mutex> lock(mtx_send);
  if (native.i_sent_fd >= 0) {
    ::close(native.i_sent_fd);
    native.i_sent_fd = -1;
  }
  if (native.p_send != nullptr) {
    pcap_close(native.p_send);
    native.p_send = nullptr;
  }
}

bool HWinPCapHelper::Impl::sent_file_open() const { return p_native->i_sent_fd >= 0; }

