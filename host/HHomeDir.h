#pragma once
// The agent's home: the folder that holds log/, core/, arc_file/ and
// sent.pcap, and the one way to open a file there. The agent runs as root
// in a folder that other users may have made, so a file of the home is
// opened without following a symbolic link, through the descriptors of the
// folders on its way down from the home, and only a regular file is taken:
// a link would let the agent write over any file of the system, a FIFO
// would hold the open for ever. What a write does not complete is cut off
// again, so that a full disk never leaves a torn line; the failures are
// counted for the agent's summary.
//
// Files outside the home (a core folder or log given elsewhere) are opened
// the same way below their own folder.
#include <cstddef>
#include <cstdint>
#include <string>

class HHomeDir {
 public:
  // Takes `folder` (an absolute path without trailing separator) as the
  // home: it must be a folder, not a symbolic link, and writable by no one
  // but the agent's user. "" when it is, else the problem, naming the path.
  static std::string open_home(const std::string& folder);
  // Locks the home for this process (HOME/.velmora.lock, holding the pid):
  // two agents on one home would overwrite each other's archive. "" when
  // locked, else the problem (naming the process that holds it).
  static std::string lock_home();
  // The folder `name` of the home (one level), created 0700 when missing,
  // checked as the home is, and a file written and removed there. "" when
  // it takes files.
  static std::string check_folder(const std::string& name);
  // "" when the file (relative to the home) is missing or a regular file,
  // else the problem: a link or a special file in the home is refused.
  static std::string check_file(const std::string& relative);

  // Opens `path` with `flags` (O_CREAT makes a missing file 0600 and
  // missing folders below the home 0700). A symbolic link fails with
  // ELOOP, anything but a regular file with EINVAL; the descriptor is
  // blocking. Returns it, or -1 with errno set.
  static int open_file(const std::string& path, int flags);
  // Renames `from` to `to`, both in the same folder, through the folder's
  // descriptor (replacing `to`), and makes the rename durable. 0, or -1
  // with errno set.
  static int rename_file(const std::string& from, const std::string& to);
  // Appends `length` bytes (one write unless the system takes fewer), with
  // `sync` on disk before it returns; when they cannot all be written (or
  // the sync fails), the file is cut back to its length before. 0, or -1
  // with errno set.
  static int append_whole(int fd, const void* data, size_t length, bool sync = false);

  // A write to `path` failed with `error`: counted; true the first time
  // since the file last took a write (the time to say it).
  static bool note_failure(const std::string& path, int error);
  // A write to `path` succeeded: its next failure is said again.
  static void note_success(const std::string& path);
  // The failed writes so far, and the first one as "FILE: reason".
  static uint64_t failures(std::string& first);
};
