#pragma once
// The base library's file log. `ins()` is the agent's general log; private
// instances (the attack log) set their own folder, name and limits.
// A file is FOLDER/NAME.log; at the maximum file length it is renamed to
// NAME.log.1 (replacing the previous one) and a new file is started
// (HLogFile). A line longer than the maximum line length is cut
// (HLogFormat). Every line is written with one write(2) on a descriptor
// opened with O_APPEND, so lines from several threads never mix and nothing
// is lost when the process dies.
//
// A thread that logs a line per frame (the capture thread) holds a Batch
// while it delivers frames: its lines are gathered per log (HLogBatch) and
// written together when the batch is flushed or ends (or 8 MiB have
// gathered). A line of any thread outside a batch first writes what has
// gathered, so the file keeps the order in which the lines were logged.
// Until its batch is flushed, a gathered line is lost if the process dies.
#include <cstddef>
#include <mutex>
#include <string>

#include "host/HLogBatch.h"
#include "host/HLogFile.h"
#include "host/HString.h"

class HFileLog {
 public:
  unsigned char b_switch = 0;  // leading one-byte switch (the plug-in sets 1); no effect here

  HFileLog();
  ~HFileLog();
  HFileLog(const HFileLog&) = delete;
  HFileLog& operator=(const HFileLog&) = delete;

  // The agent's general log: HOME/log/Velmora.log.
  static HFileLog& ins();
  // Plain line header: "2026-12-06 11:12:13.123 [tid] ".
  static HString get();
  // Line header with level and source: "... [2] .\Tidewell(42) ".
  static HString get(int level, const wchar_t* source, int line);

  // Folder separators may be written "\" or "/". Returns 0, or -1 when the
  // folder cannot be created.
  int set_path(const HString& folder, const HString& name);
  void set_max_file_len(unsigned long max_len);
  void set_max_line_len(unsigned long max_len);

  // Writes one line (a newline is added; line breaks inside become blanks).
  // 0 on success, -1 on failure.
  int log(const HString& line);
  // printf-style, after the header with level and source (see
  // HLogFormat::format for what the format takes).
  int log(int level, const wchar_t* source, int line, const wchar_t* format, ...);
  // The line `get() + text` for a text given as UTF-8 bytes, written as
  // log() writes it but without making a wide string first.
  int log_plain(const char* text, size_t length);
  // A line per frame made without a copy of its text: make(context, out)
  // writes the text (ASCII without line breaks, shorter than
  // HLogFormat::kMadeMax) and returns its length. Logged as log_plain()
  // logs that text.
  using MakeText = size_t (*)(const void* context, char* out);
  int log_made(MakeText make, const void* context);

  // Lines logged by this thread while a Batch lives are written when the
  // outermost Batch ends (or flush() is called). Inside a batch, log()
  // returns 0 once the line is taken; a later write failure is not seen.
  class Batch {
   public:
    Batch();
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    // Writes what this thread's batch has gathered so far.
    void flush();
  };
  // Writes what has gathered in every log (at exit, before _exit()).
  static void flush_all();
  // Closes every log's file after writing what has gathered; the next line
  // opens it again by name, so a file renamed away by log rotation is
  // followed by a new one.
  static void reopen_all();

  HString file_path() const;

 private:
  // Appends a line with encode(out) to the gathered text, or writes it.
  template <typename Encode>
  int log_encoded_locked(Encode encode);
  // Writes the line in str_line_buf (newline included) or gathers it.
  int emit_locked();
  bool gathering_locked() const;
  // Writes what has gathered once the batch is over or has grown too large.
  int after_gathering_locked();
  int open_locked();
  void close_locked();
  void flush_gathered();

  std::mutex mtx_file;
  HString str_folder;
  HString str_name;
  unsigned long ul_max_line_len = 4096;
  bool b_home_log = false;   // ins(): takes the home when it first writes
  HLogFile file;
  HLogBatch gathered;        // lines of batches, not written yet
  std::string str_line_buf;  // reused for every line, under mtx_file
  HFileLog* p_next = nullptr;  // every log, for flush_all()
};
