#pragma once
// The base library's wide string: value semantics, exact-text comparison.
#include <cstddef>
#include <string>

class HString {
 public:
  HString() = default;
  HString(const wchar_t* text);
  HString(const char* text);
  HString(const std::string& text);
  HString(const std::wstring& text) : str_(text) {}
  explicit HString(unsigned long value);
  explicit HString(unsigned int value) : HString(static_cast<unsigned long>(value)) {}
  HString(int value, int radix);
  explicit HString(bool value);
  // As HString(text), reusing this string's storage.
  HString& assign(const std::string& text);

  HString& operator<<(const HString& text) { str_ += text.str_; return *this; }
  HString& operator<<(const wchar_t* text);
  HString& operator<<(const char* text);
  HString& operator<<(unsigned long value);
  HString& operator<<(unsigned int value) { return *this << static_cast<unsigned long>(value); }
  HString& operator<<(int value);

  HString& operator+=(const HString& text) { str_ += text.str_; return *this; }
  friend HString operator+(HString a, const HString& b) { return a += b; }
  friend bool operator==(const HString& a, const HString& b) { return a.str_ == b.str_; }
  friend bool operator!=(const HString& a, const HString& b) { return a.str_ != b.str_; }
  friend bool operator<(const HString& a, const HString& b) { return a.str_ < b.str_; }

  const wchar_t* wc_str() const { return str_.c_str(); }
  const std::wstring& wstr() const { return str_; }
  // Narrow copy; characters outside Latin-1 become '?'.
  std::string get_str_direct() const;
  // Position of `what` at or after `start`, or -1.
  int find(const HString& what, int start) const;
  int length() const { return static_cast<int>(str_.size()); }
  bool empty() const { return str_.empty(); }
  // At most `count` characters from `start`; shorter at the end, empty past it.
  HString substr(int start, int count) const;
  // Replaces `from` by `to`: every occurrence when `all`, else the first.
  HString& replace_ex(const HString& from, const HString& to, bool all);
  // Printable rendering of binary data: printable ASCII as is, every other
  // byte as "\xNN".
  HString& make_by_bin_multi(const unsigned char* bytes, int length);
  // The same rendering appended to a narrow string (it is plain ASCII).
  static void append_bin_multi(std::string& out, const unsigned char* bytes, int length);
  // Sends the text to the debugger output.
  void debugview() const;

 private:
  std::wstring str_;
};
