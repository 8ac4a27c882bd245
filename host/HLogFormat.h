#pragma once
// How the file log's lines read: the header "2026-12-06 11:12:13.123 [tid] ",
// the printf form of the agent's log calls, and a text made into one line of
// the file (UTF-8, line breaks as blanks, cut at the maximum line length in
// characters, a newline at the end).
#include <cstdarg>
#include <cstddef>
#include <string>

class HLogFormat {
 public:
  static constexpr size_t kHeaderMax = 72;
  // The longest text encode_made() makes, its newline included.
  static constexpr size_t kMadeMax = 128;

  // This thread's header of now into `out` (kHeaderMax bytes); its length.
  static size_t header(char* out);
  // printf with the agent's conventions: %s takes a wide string, %S a
  // narrow (UTF-8) one; %d and %u with l or ll, %p and %%.
  static void format(std::wstring& out, const wchar_t* format, va_list& ap);
  // The line of a wide text, appended to `out`; 0: no maximum.
  static void encode(const std::wstring& text, unsigned long max_line_len, std::string& out);
  // The line of the header of now and a UTF-8 text, appended to `out`.
  static void encode_plain(const char* text, size_t length, unsigned long max_line_len, std::string& out);
  // The same for a text that make(context, p) writes at p: ASCII without
  // line breaks, shorter than kMadeMax; returns its length.
  static void encode_made(size_t (*make)(const void*, char*), const void* context, unsigned long max_line_len,
                          std::string& out);
};
