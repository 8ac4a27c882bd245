#include "host/win/PcapFileReader.h"

#include "host/HFileUtil.h"

namespace {

constexpr uint32_t kMagicMicro = 0xa1b2c3d4;
constexpr uint32_t kMagicNano = 0xa1b23c4d;
constexpr size_t kFileHeaderLen = 24;
constexpr size_t kRecordHeaderLen = 16;

uint32_t swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24);
}

uint32_t little_endian(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

std::FILE* open_file(const std::string& path, const wchar_t* mode) {
  HString wide = HFileUtil::from_utf8(path);
  return ::_wfopen(wide.wc_str(), mode);
}

}  // namespace

PcapFileReader::~PcapFileReader() { close(); }

void PcapFileReader::close() {
  if (p_file) std::fclose(p_file);
  p_file = nullptr;
}

uint32_t PcapFileReader::u32(const unsigned char* p) const {
  uint32_t v = little_endian(p);
  return b_swapped ? swap32(v) : v;
}

bool PcapFileReader::parse_header(const unsigned char* header, size_t len) {
  if (!header || len < kFileHeaderLen) return false;
  uint32_t magic = little_endian(header);
  b_swapped = magic == swap32(kMagicMicro) || magic == swap32(kMagicNano);
  uint32_t ordered = b_swapped ? swap32(magic) : magic;
  if (ordered != kMagicMicro && ordered != kMagicNano) return false;
  b_nanoseconds = ordered == kMagicNano;
  ul_snaplen = u32(header + 16);
  ul_link_type = u32(header + 20) & 0x0fffffff;  // the upper bits carry FCS flags
  return true;
}

int PcapFileReader::open(const std::string& path) {
  close();
  str_error.clear();
  p_file = open_file(path, L"rb");
  if (!p_file) {
    str_error = "cannot read capture file " + path;
    return -1;
  }
  unsigned char header[kFileHeaderLen];
  if (std::fread(header, 1, sizeof(header), p_file) != sizeof(header) || !parse_header(header, sizeof(header))) {
    str_error = "capture file " + path + " is not a pcap file";
    close();
    return -1;
  }
  return 0;
}

int PcapFileReader::next(PcapRecord& record) {
  if (!p_file) {
    str_error = "no capture file is open";
    return -1;
  }
  unsigned char header[kRecordHeaderLen];
  size_t got = std::fread(header, 1, sizeof(header), p_file);
  if (got == 0 && std::feof(p_file)) return 0;
  if (got != sizeof(header)) {
    str_error = "truncated record: the file ends inside its header";
    return -1;
  }
  uint32_t caplen = u32(header + 8);
  uint32_t limit = ul_snaplen > 0 && ul_snaplen < kMaxRecordLen ? ul_snaplen : kMaxRecordLen;
  if (caplen > limit) {
    str_error = "a record's captured length " + std::to_string(caplen) + " exceeds the snapshot length " +
                std::to_string(limit);
    return -1;
  }
  record.vt_bytes.resize(caplen);
  if (caplen > 0 && std::fread(record.vt_bytes.data(), 1, caplen, p_file) != caplen) {
    str_error = "truncated record: the file ends inside its data";
    return -1;
  }
  double fraction = static_cast<double>(u32(header + 4)) / (b_nanoseconds ? 1e9 : 1e6);
  record.d_time = static_cast<double>(u32(header)) + fraction;
  record.ul_wire_len = u32(header + 12);
  return 1;
}
