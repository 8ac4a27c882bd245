#include "bench/CaptureWriter.h"

#include <cstring>

namespace {

constexpr uint32_t kMagicMicroseconds = 0xa1b2c3d4;
constexpr uint32_t kSnapLen = 65535;
constexpr uint32_t kLinkEthernet = 1;
constexpr size_t kFileBuffer = 1 << 20;

struct FileHeader {
  uint32_t magic;
  uint16_t major;
  uint16_t minor;
  int32_t zone;
  uint32_t sigfigs;
  uint32_t snaplen;
  uint32_t linktype;
};
static_assert(sizeof(FileHeader) == 24, "pcap file header");

struct RecordHeader {
  uint32_t sec;
  uint32_t usec;
  uint32_t caplen;
  uint32_t len;
};
static_assert(sizeof(RecordHeader) == 16, "pcap record header");

}  // namespace

CaptureWriter::~CaptureWriter() { close(); }

int CaptureWriter::open(const std::string& path) {
  close();
  b_failed = false;
  p_file = std::fopen(path.c_str(), "wb");
  if (!p_file) return -1;
  std::setvbuf(p_file, nullptr, _IOFBF, kFileBuffer);
  FileHeader header{kMagicMicroseconds, 2, 4, 0, 0, kSnapLen, kLinkEthernet};
  if (std::fwrite(&header, sizeof(header), 1, p_file) != 1) b_failed = true;
  return b_failed ? -1 : 0;
}

int CaptureWriter::write(uint64_t ts_us, const unsigned char* frame, size_t length) {
  if (!p_file || (!frame && length > 0)) return -1;
  uint32_t caplen = length > kSnapLen ? kSnapLen : static_cast<uint32_t>(length);
  RecordHeader record{static_cast<uint32_t>(ts_us / 1000000), static_cast<uint32_t>(ts_us % 1000000), caplen,
                      static_cast<uint32_t>(length)};
  if (std::fwrite(&record, sizeof(record), 1, p_file) != 1) b_failed = true;
  if (caplen > 0 && std::fwrite(frame, caplen, 1, p_file) != 1) b_failed = true;
  return b_failed ? -1 : 0;
}

int CaptureWriter::close() {
  if (!p_file) return b_failed ? -1 : 0;
  if (std::fclose(p_file) != 0) b_failed = true;
  p_file = nullptr;
  return b_failed ? -1 : 0;
}
