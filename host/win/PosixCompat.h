#pragma once
// Included first into every host/ source on Windows (see cmake/Windows.cmake):
// the POSIX file calls that those sources make, with their Linux meaning.
// Paths are UTF-8 as HFileUtil::native_path gives them; files are binary
// (no CR added before LF); rename replaces an existing target, as rename(2)
// does; O_CLOEXEC keeps the handle from child processes.
#define _POSIX_THREAD_SAFE_FUNCTIONS 200112L  // localtime_r
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif

namespace tidewell_posix {
int open(const char* path, int flags, int mode = 0);
int rename(const char* from, const char* to);
int unlink(const char* path);
}  // namespace tidewell_posix

int fsync(int fd);
int fdatasync(int fd);
long gettid();

#define open tidewell_posix::open
#define rename tidewell_posix::rename
#define unlink tidewell_posix::unlink
