#include "host/HArchiveFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/HEnvironment.h"
#include "host/HFileLog.h"
#include "host/HFileUtil.h"
#include "host/HHomeDir.h"

namespace {

constexpr unsigned char ARC_MAGIC[4] = {'H', 'A', 'R', 'C'};
constexpr size_t ARC_HEADER_LEN = 16;  // magic, version, payload length, CRC-32
// The audit queue holds at most 10000 entries of a few hundred bytes; an
// archive that announces more than this is not one of ours.
constexpr size_t ARC_MAX_FILE_LEN = 16u * 1024 * 1024;

void put_u32(std::vector<unsigned char>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

uint32_t get_u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// CRC-32 (IEEE 802.3, reflected), eight bytes per step: the audit store
// rewrites its whole archive after every change, and a byte at a time the
// checksum was most of that rewrite's work. Table k gives the CRC of a byte
// followed by k zero bytes.
typedef std::array<std::array<uint32_t, 256>, 8> CrcTables;

CrcTables make_crc_tables() {
  CrcTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (size_t k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  }
  return t;
}

uint32_t crc32(const unsigned char* data, size_t length) {
  static const CrcTables t = make_crc_tables();
  uint32_t c = 0xFFFFFFFFu;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint32_t low = c ^ get_u32(data + i);
    uint32_t high = get_u32(data + i + 4);
    c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
        t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; i < length; ++i) c = t[0][(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void log_archive(const std::string& path, const wchar_t* what) {
  HFileLog::ins().log(1, L"HArchiveFile", __LINE__, L"archive %S %s", path.c_str(), what);
}

// Reads up to `length` bytes at the file's current position; the count read.
size_t read_up_to(int fd, unsigned char* out, size_t length) {
  size_t got = 0;
  while (got < length) {
    ssize_t n = ::read(fd, out + got, length - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

}  // namespace

// ---- HArchiveMem: little-endian 32-bit values; strings as a length in
// characters followed by each character as 32 bits.

int HArchiveMem::write_basic(int value) {
  put_u32(vt_data, static_cast<uint32_t>(value));
  return 0;
}

int HArchiveMem::read_basic(int& value) {
  if (remaining() < 4) return -1;
  value = static_cast<int>(get_u32(vt_data.data() + ul_read_pos));
  ul_read_pos += 4;
  return 0;
}

int HArchiveMem::write_string(const HString& text) {
  const std::wstring& w = text.wstr();
  put_u32(vt_data, static_cast<uint32_t>(w.size()));
  for (wchar_t c : w) put_u32(vt_data, static_cast<uint32_t>(c));
  return 0;
}

int HArchiveMem::read_string(HString& text) {
  if (remaining() < 4) return -1;
  uint32_t count = get_u32(vt_data.data() + ul_read_pos);
  // Checked against what is there before anything is allocated.
  if (count > (remaining() - 4) / 4) return -1;
  std::wstring w;
  w.reserve(count);
  const unsigned char* p = vt_data.data() + ul_read_pos + 4;
  for (uint32_t i = 0; i < count; ++i) w += static_cast<wchar_t>(get_u32(p + 4 * static_cast<size_t>(i)));
  ul_read_pos += 4 + 4 * static_cast<size_t>(count);
  text = HString(w);
  return 0;
}

int HArchiveMem::write_bytes(const void* data, size_t length) {
  if (length == 0) return 0;
  if (!data) return -1;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  vt_data.insert(vt_data.end(), p, p + length);
  return 0;
}

int HArchiveMem::read_bytes(void* data, size_t length) {
  if (remaining() < length || (length > 0 && !data)) return -1;
  if (length > 0) std::memcpy(data, vt_data.data() + ul_read_pos, length);
  ul_read_pos += length;
  return 0;
}

void HArchiveMem::reset(const std::vector<unsigned char>& data) {
  vt_data = data;
  ul_read_pos = 0;
}

void HArchiveMem::reset(std::vector<unsigned char>&& data) {
  vt_data = std::move(data);
  ul_read_pos = 0;
}

void HArchiveMem::clear() {
  vt_data.clear();
  ul_read_pos = 0;
}

// ---- HArchiveFile

void HArchiveFile::set_name(const HString& name) {
  HString path = HFileUtil::normalize(name);
  if (!path.empty() && !HFileUtil::is_absolute(path)) {
    HString home = HEnvironment::GetMyExeFullFilePath(false);
    path = home + HString(L"/") + path;
  }
  str_path = HFileUtil::native_path(path);
}

// The header is read and checked first; of the payload only the length it
// announces is read, so a damaged or foreign file never costs more memory
// than an archive of ours may hold.
int HArchiveFile::prepare_read() {
  mem.clear();
  if (str_path.empty()) return -1;
  int fd = HHomeDir::open_file(str_path, O_RDONLY);
  if (fd < 0) return -1;
  int rc = read_checked(fd);
  ::close(fd);
  return rc;
}

int HArchiveFile::read_checked(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_size < 0) return -1;
  unsigned char header[ARC_HEADER_LEN];
  size_t file_len = static_cast<size_t>(st.st_size);
  if (file_len < ARC_HEADER_LEN || read_up_to(fd, header, ARC_HEADER_LEN) != ARC_HEADER_LEN ||
      std::memcmp(header, ARC_MAGIC, sizeof(ARC_MAGIC)) != 0) {
    log_archive(str_path, L"is no archive (bad header)");
    return -1;
  }
  int version = static_cast<int>(get_u32(header + 4));
  if (version != mem.get_version()) {
    HFileLog::ins().log(1, L"HArchiveFile", __LINE__, L"archive %S version %d, expected %d", str_path.c_str(),
                        version, mem.get_version());
    return -1;
  }
  size_t announced = get_u32(header + 8);
  if (announced > ARC_MAX_FILE_LEN) {
    log_archive(str_path, L"damaged (implausible length)");
    return -1;
  }
  size_t present = file_len - ARC_HEADER_LEN;
  if (present < announced) log_archive(str_path, L"truncated");
  if (present > announced) log_archive(str_path, L"damaged (bytes beyond the payload)");
  std::vector<unsigned char> payload(present < announced ? present : announced);
  payload.resize(read_up_to(fd, payload.data(), payload.size()));
  if (payload.size() == announced && crc32(payload.data(), payload.size()) != get_u32(header + 12))
    log_archive(str_path, L"damaged (checksum mismatch)");
  mem.reset(std::move(payload));
  return 0;
}

int HArchiveFile::commit_read() {
  mem.clear();
  return 0;
}

int HArchiveFile::prepare_write() {
  mem.clear();
  if (str_path.empty()) return -1;
  mem.b_write_ready = 1;
  return 0;
}

int HArchiveFile::commit_write() {
  if (!mem.b_write_ready) return -1;
  mem.b_write_ready = 0;
  const std::vector<unsigned char>& payload = mem.data();
  std::vector<unsigned char> image(ARC_MAGIC, ARC_MAGIC + sizeof(ARC_MAGIC));
  put_u32(image, static_cast<uint32_t>(mem.get_version()));
  put_u32(image, static_cast<uint32_t>(payload.size()));
  put_u32(image, crc32(payload.data(), payload.size()));
  image.insert(image.end(), payload.begin(), payload.end());
  if (write_aside(image) != 0) {
    // Said once, until the archive is written again.
    int error = errno;
    if (HHomeDir::note_failure(str_path, error)) {
      HFileLog::ins().log(1, L"HArchiveFile", __LINE__, L"archive %S could not be written: %S", str_path.c_str(),
                          std::strerror(error));
    }
    return -1;
  }
  HHomeDir::note_success(str_path);
  return 0;
}

// The image goes to NAME.tmp first; only a complete, synced copy replaces NAME.
int HArchiveFile::write_aside(const std::vector<unsigned char>& image) {
  std::string folder = HFileUtil::dir_name(str_path);
  std::string tmp = str_path + ".tmp";
  int fd = HHomeDir::open_file(tmp, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return -1;
  bool ok = HHomeDir::append_whole(fd, image.data(), image.size(), true) == 0;
  int error = errno;
  ::close(fd);
  if (ok && ::rename(tmp.c_str(), str_path.c_str()) == 0) {
    HFileUtil::sync_dir(folder);
    return 0;
  }
  if (ok) error = errno;
  ::unlink(tmp.c_str());
  errno = error;
  return -1;
}
