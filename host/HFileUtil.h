#pragma once
// File helpers of the base library: paths written with "\" or "/", folder
// creation, complete writes and the syncs that make a rename durable.
#include <cstddef>
#include <string>

#include "host/HString.h"

class HFileUtil {
 public:
  // UTF-8 bytes of a wide text; code points that cannot be encoded become U+FFFD.
  static std::string utf8(const HString& text);
  static void append_utf8(std::string& out, wchar_t c);
  // UTF-8 bytes of the character that starts `text`, of which `count` wide
  // characters are there: a surrogate pair is one character where wide text
  // is UTF-16. Returns how many wide characters it took (0 when count is 0).
  static size_t append_utf8(std::string& out, const wchar_t* text, size_t count);
  // Wide text of UTF-8 bytes; malformed sequences become U+FFFD.
  static HString from_utf8(const std::string& bytes);
  // "\" turned into "/", repeated and trailing separators dropped (a lone "/" stays).
  static HString normalize(const HString& path);
  // Whether the path starts at a root rather than at the agent's home: "/..."
  // (on Windows also "C:/...").
  static bool is_absolute(const HString& path);
  // The normalised path as the file system takes it (UTF-8).
  static std::string native_path(const HString& path);
  // The folder part of a path ("" when it has none).
  static std::string dir_name(const std::string& path);
  // Creates the folder and its parents; 0 when it exists afterwards.
  static int make_dirs(const std::string& folder);
  // Writes every byte, retrying after interruptions and short writes.
  static int write_all(int fd, const void* data, size_t length);
  // Makes a rename inside the folder durable.
  static int sync_dir(const std::string& folder);
};
