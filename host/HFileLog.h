#pragma once
// The base library's file log. `ins()` is the agent's general log; private
// instances (the attack log) set their own folder, name and limits.
// A file is FOLDER/NAME.log; at the maximum file length it is renamed to
// NAME.log.1 (replacing the previous one) and a new file is started. A line
// longer than the maximum line length is cut. Every line is written with
// one write(2) on a descriptor opened with O_APPEND, so lines from several
// threads never mix and nothing is lost when the process dies.
//
// A thread that logs a line per frame (the capture thread) holds a Batch
// while it delivers frames: its lines are gathered per log and written
// together when the batch is flushed or ends (or 8 MiB have gathered). A
// line of any thread outside a batch first writes what has gathered, so the
// file keeps the order in which the lines were logged; roll-over and line
// cuts happen exactly as for single lines. Gathered lines that would fill
// files deleted by later roll-overs of the same write are not written at
// all; the files end up the same. Until its batch is flushed, a gathered
// line is lost if the process dies.
//
// A line logged per frame need not even be made: log_plain_deferred keeps
// the header of the moment it is logged, a few bytes of arguments and a
// render function, and makes the text only when the line is written, i.e.
// only for the lines that land in a file that survives the write.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

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
  // printf-style: %s takes a wide string (const wchar_t*), %d an int, %p a pointer
  // (also %u %x %c %S = narrow string, %%, width, '-', '0', and l/ll/z lengths).
  int log(int level, const wchar_t* source, int line, const wchar_t* format, ...);
  // The line `get() + text` for a text given as UTF-8 bytes, written as
  // log() writes it but without making a wide string first.
  int log_plain(const char* text, size_t length);

  // Writes `text_length` bytes of text into `out`, made from the arguments.
  using RenderFn = void (*)(const unsigned char* args, char* out);
  // The arguments of a deferred line, copied as one fixed block.
  struct DeferredArgs {
    unsigned char bytes[16] = {};
  };
  // The line that log_plain would write for the text render(args) makes,
  // which must be exactly `text_length` bytes of ASCII without line breaks:
  // the roll-over points are reckoned from the length alone. Inside a batch
  // the text is made only if the line is written (when the batch is flushed
  // or ends, so `render` must stay callable until then; it runs under the
  // log's lock and must not log); outside one, or when the line would be
  // cut, it is made at once. -1 without a render function.
  int log_plain_deferred(size_t text_length, RenderFn render, const DeferredArgs& args);

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
  // A deferred line: header, text and newline make `length` bytes.
  struct DeferredLine {
    RenderFn render;
    size_t text_at;      // where it stands among the text lines of its file
    uint32_t header_at;  // its header in str_headers
    uint32_t length;
    uint8_t header_len;
    DeferredArgs args;
  };
  // The gathered lines of one file: those gathered as text, with the
  // deferred lines standing among them.
  struct PendingFile {
    std::string str_text;
    std::vector<DeferredLine> vt_deferred;
    size_t ul_deferred_len = 0;  // what the deferred lines will take in the file
    size_t length() const { return str_text.size() + ul_deferred_len; }
    size_t memory() const { return str_text.size() + vt_deferred.size() * sizeof(DeferredLine); }
    bool empty() const { return str_text.empty() && vt_deferred.empty(); }
    // Text lines have at least their newline: a deferred line standing at the
    // end of the text came last.
    bool last_is_deferred() const { return !vt_deferred.empty() && vt_deferred.back().text_at == str_text.size(); }
    void clear() {
      str_text.clear();
      vt_deferred.clear();
      ul_deferred_len = 0;
    }
  };

  // The helpers marked inline are defined in HFileLog.cpp, the one file that
  // uses them: each line passes them, and members of the shared library are
  // otherwise called through the PLT.
  int write_line(const std::wstring& line);
  int log_plain_locked(const char* text, size_t length);
  int log_rendered_locked(size_t text_length, RenderFn render, const DeferredArgs& args);
  int defer_locked(size_t text_length, RenderFn render, const DeferredArgs& args);
  inline uint32_t header_at_locked(uint64_t header_id, const char* header, size_t header_len);
  inline bool fits_line_locked(size_t line_length) const;
  inline size_t pending_memory_locked() const;
  int write_pending_file_locked(const PendingFile& file);
  void render_locked(const PendingFile& file, std::string& out) const;
  // Writes the line in str_line_buf (newline included) or gathers it.
  int emit_locked();
  inline bool gathering_locked() const;
  inline bool rolls_over(uint64_t file_length, size_t line_length) const;
  inline int gathered_locked(uint64_t file_length, size_t line_length);
  void start_pending_file_locked(size_t line_length);
  inline uint64_t current_length_locked() const;
  int write_part_locked(const char* data, size_t length);
  int write_pending_locked();
  void encode_locked(const std::wstring& line);
  void encode_plain_locked(const char* text, size_t length, std::string& out) const;
  int open_locked(bool truncate);
  void close_fd_locked();
  void close_locked();
  void rename_to_previous_locked();
  void roll_over_locked();
  void flush_pending();

  std::mutex mtx_file;
  HString str_folder;
  HString str_name;
  unsigned long ul_max_file_len = 10 * 1024 * 1024;
  unsigned long ul_max_line_len = 4096;
  int i_fd = -1;
  std::string str_path;  // the file i_fd was opened as
  uint64_t ull_file_len = 0;
  bool b_home_log = false;   // ins(): takes the home when it first writes
  std::string str_line_buf;  // reused for every line, under mtx_file
  std::string str_render;    // the text of a line rendered at once
  PendingFile st_pending;         // gathered lines of batches, not written yet: those of the last file
  PendingFile st_pending_before;  // after a gathered roll-over: the gathered lines of the file before
  std::string str_headers;        // headers of the deferred lines, one for the lines of a thread's millisecond
  uint64_t ull_header_id = 0;     // which header str_headers ends with (0: none)
  uint32_t ul_header_at = 0;
  int i_pending_rolls = 0;         // gathered roll-overs, counted up to 2
  HFileLog* p_next = nullptr;  // every log, for flush_all()
};
