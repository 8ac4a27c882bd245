#pragma once
// One write of the system to a file descriptor, as HFileUtil::write_all
// repeats it: the bytes written, or -1 with errno set.
#include <cstddef>

long write_some(int fd, const char* data, size_t length);
