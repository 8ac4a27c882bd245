#pragma once
// The base library's archive: a memory image (HArchiveMem) that nodes write
// themselves into and read themselves from, and a file (HArchiveFile) that
// holds it on disk. The file is written aside and renamed into place, so a
// crash in the middle of a write never destroys the previous archive. On
// reading, the header (magic, version, length, checksum) is checked; a
// damaged or truncated archive is said in the log and only what is there is
// offered to the reader, whose every read is bounds-checked.
#include <cstdint>
#include <string>
#include <vector>

#include "host/HString.h"

class HArchiveMem {
 public:
  unsigned char b_write_ready = 0;  // set by prepare_write, cleared on commit

  void set_version(int version) { i_version = version; }
  int get_version() const { return i_version; }

  // Writes return 0; reads return 0 when the value was read, -1 when the
  // image holds too few bytes (nothing is consumed then).
  int write_basic(int value);
  int read_basic(int& value);
  int write_string(const HString& text);
  int read_string(HString& text);
  int write_bytes(const void* data, size_t length);
  int read_bytes(void* data, size_t length);

  size_t remaining() const { return vt_data.size() - ul_read_pos; }
  void reset(const std::vector<unsigned char>& data);
  void reset(std::vector<unsigned char>&& data);
  void clear();
  const std::vector<unsigned char>& data() const { return vt_data; }

 private:
  int i_version = 0;
  std::vector<unsigned char> vt_data;
  size_t ul_read_pos = 0;
};

// A record that can write itself into an attached archive memory.
class HArchiveNode {
 public:
  virtual int arc_write() = 0;
  virtual int arc_read() = 0;
  virtual ~HArchiveNode() = default;
  void __inter_set_arc_obj(HArchiveMem* mem) { p_arc_mem = mem; }

 protected:
  HArchiveMem* p_arc_mem = nullptr;
};

class HArchiveFile {
 public:
  // The name is relative to the agent's home (HEnvironment) unless absolute;
  // "\" separators are accepted.
  void set_name(const HString& name);
  HArchiveMem& get_mem() { return mem; }

  // 0 = ready. prepare_read loads and checks the file (-1 when it is missing
  // or its magic or version differs from the memory's); commit_read ends it.
  int prepare_read();
  int commit_read();
  // prepare_write empties the memory and sets its write-ready flag;
  // commit_write stores the image (aside, fsync, rename).
  int prepare_write();
  int commit_write();

  std::string path() const { return str_path; }

 private:
  int read_checked(int fd);
  int write_aside(const std::vector<unsigned char>& image);

  HArchiveMem mem;
  std::string str_path;
};
