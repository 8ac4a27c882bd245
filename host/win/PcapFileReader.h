#pragma once
// Capture files in the classic pcap format read without libpcap: the capture
// helper on Windows replays them. Both byte orders, micro- and nanosecond
// times. Every record length is checked against the file's snapshot length
// and a hard maximum before anything is allocated or read; a record cut
// short by the end of the file is an error.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct PcapRecord {
  double d_time = 0;           // seconds since 1970
  uint32_t ul_wire_len = 0;    // length on the wire
  std::vector<unsigned char> vt_bytes;  // the captured bytes
};

class PcapFileReader {
 public:
  static constexpr uint32_t kLinkEthernet = 1;
  // No Ethernet frame of ours comes near this; a larger record is damage.
  static constexpr uint32_t kMaxRecordLen = 262144;

  PcapFileReader() = default;
  ~PcapFileReader();
  PcapFileReader(const PcapFileReader&) = delete;
  PcapFileReader& operator=(const PcapFileReader&) = delete;

  // `path` in UTF-8. 0, or -1 with error().
  int open(const std::string& path);
  void close();
  // 1 with the next record, 0 at the clean end of the file, -1 with error().
  int next(PcapRecord& record);
  uint32_t link_type() const { return ul_link_type; }
  const std::string& error() const { return str_error; }

  // Reads the 24-byte file header; false for anything that is not a pcap
  // file header. Exposed for the tests of damaged files.
  bool parse_header(const unsigned char* header, size_t len);

 private:
  uint32_t u32(const unsigned char* p) const;

  std::FILE* p_file = nullptr;
  bool b_swapped = false;
  bool b_nanoseconds = false;
  uint32_t ul_snaplen = 0;
  uint32_t ul_link_type = 0;
  std::string str_error;
};
