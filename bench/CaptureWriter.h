#pragma once
// Writes an Ethernet capture file in the classic pcap format (microsecond
// time stamps, host byte order, as libpcap writes it) through a large
// buffer: a million frames must not cost a million writes.
#include <cstdint>
#include <cstdio>
#include <string>

class CaptureWriter {
 public:
  CaptureWriter() = default;
  ~CaptureWriter();
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;

  // 0, or -1 when the file cannot be created.
  int open(const std::string& path);
  // `ts_us`: microseconds since 1970. Frames longer than the snap length
  // (65535) are cut. 0, or -1 on a write error.
  int write(uint64_t ts_us, const unsigned char* frame, size_t length);
  // 0 when every byte reached the file.
  int close();

 private:
  FILE* p_file = nullptr;
  bool b_failed = false;
};
