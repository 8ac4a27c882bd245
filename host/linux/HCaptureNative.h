#pragma once
// The capture helper's libpcap handles on Linux (HCaptureSource.cpp,
// HCaptureHandles.cpp).
#include <pcap/pcap.h>

#include <memory>
#include <string>

#include "host/HWinPCapHelperImpl.h"

struct HWinPCapHelper::Impl::Native {
  pcap_t* p_capture = nullptr;
  // The replay as the check opened it, for the capture to go on with: a
  // pipe cannot be opened twice, its header would be gone.
  pcap_t* p_checked = nullptr;
  std::string str_checked_file;
  // Sending, under mtx_send: the live send handle, or the dump of sent
  // frames in replay.
  pcap_t* p_send = nullptr;
  int i_sent_fd = -1;
  // The replayed file's stream buffer: it outlives every handle on it.
  std::unique_ptr<char[]> up_replay_buffer;

  int open_live(Impl& im, pcap_t*& handle, bool for_sending);
  int open_replay(Impl& im);
  static void close(pcap_t*& handle);
  void poll_drops(Impl& im, Clock::time_point& next_poll);
  void run_live(Impl& im, const std::string& iface);
  void replay_paced(Impl& im, const std::string& file, double speed);
  void replay_at_full_speed(Impl& im, const std::string& file);
  int write_sent(Impl& im, const unsigned char* frame, int length);
};
