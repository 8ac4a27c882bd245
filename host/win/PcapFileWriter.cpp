#include "host/win/PcapFileWriter.h"

#include <cmath>

#include "host/HFileUtil.h"
#include "host/win/PcapFileReader.h"

namespace {

constexpr uint32_t kMagicMicro = 0xa1b2c3d4;
constexpr size_t kFileHeaderLen = 24;
constexpr size_t kRecordHeaderLen = 16;

void put_u32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::FILE* open_file(const std::string& path, const wchar_t* mode) {
  HString wide = HFileUtil::from_utf8(path);
  return ::_wfopen(wide.wc_str(), mode);
}

}  // namespace

PcapFileWriter::~PcapFileWriter() { close(); }

int PcapFileWriter::open(const std::string& path, uint32_t snaplen) {
  close();
  p_file = open_file(path, L"wb");
  if (!p_file) return -1;
  ul_snaplen = snaplen;
  unsigned char header[kFileHeaderLen] = {0};
  put_u32(header, kMagicMicro);
  header[4] = 2;  // version 2.4
  header[6] = 4;
  put_u32(header + 16, snaplen);
  put_u32(header + 20, PcapFileReader::kLinkEthernet);
  if (std::fwrite(header, 1, sizeof(header), p_file) != sizeof(header) || std::fflush(p_file) != 0) {
    close();
    return -1;
  }
  return 0;
}

int PcapFileWriter::write(double time, const unsigned char* frame, uint32_t length) {
  if (!p_file || !frame || length > ul_snaplen) return -1;
  double whole = std::floor(time);
  uint32_t seconds = static_cast<uint32_t>(whole);
  uint32_t micros = static_cast<uint32_t>((time - whole) * 1e6);
  if (micros > 999999) micros = 999999;
  unsigned char header[kRecordHeaderLen];
  put_u32(header, seconds);
  put_u32(header + 4, micros);
  put_u32(header + 8, length);
  put_u32(header + 12, length);
  bool ok = std::fwrite(header, 1, sizeof(header), p_file) == sizeof(header) &&
            std::fwrite(frame, 1, length, p_file) == length && std::fflush(p_file) == 0;
  return ok ? 0 : -1;
}

void PcapFileWriter::close() {
  if (p_file) std::fclose(p_file);
  p_file = nullptr;
}
