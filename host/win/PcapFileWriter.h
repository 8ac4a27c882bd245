#pragma once
// A capture file in the classic pcap format (Ethernet, microseconds) written
// without libpcap: the frames the plug-in sends in a replay.
#include <cstdint>
#include <cstdio>
#include <string>

class PcapFileWriter {
 public:
  PcapFileWriter() = default;
  ~PcapFileWriter();
  PcapFileWriter(const PcapFileWriter&) = delete;
  PcapFileWriter& operator=(const PcapFileWriter&) = delete;

  // Creates (or empties) the file and writes an Ethernet, microsecond header.
  int open(const std::string& path, uint32_t snaplen);
  // Writes one record and flushes it: the process may end at any time.
  int write(double time, const unsigned char* frame, uint32_t length);
  void close();
  bool is_open() const { return p_file != nullptr; }

 private:
  std::FILE* p_file = nullptr;
  uint32_t ul_snaplen = 0;
};
