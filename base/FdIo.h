#pragma once
// Whole reads and writes on a descriptor of a file (one from OpenRegularFile), so that a call
// the system cuts short, or one a signal interrupts, does not pass for the end or for an error.
// The loops are written once in FdIo.cpp; FdIo_linux.cpp and FdIo_win32.cpp hold the one call
// each system makes.

#include <cstddef>

namespace kelta {

// How much of the request was done, and 0 or the errno of the call that stopped it.
struct FdIoResult {
  std::size_t done = 0;
  int err = 0;
};

// Reads until size bytes are in or the file ends (err 0 and done < size at the end).
FdIoResult ReadAll(int fd, void* data, std::size_t size);

// Writes all size bytes; a write that takes nothing stops it with EIO.
FdIoResult WriteAll(int fd, const void* data, std::size_t size);

// One read or write of up to size bytes: the count done, or negative with errno set.
long long ReadSome(int fd, void* data, std::size_t size);
long long WriteSome(int fd, const void* data, std::size_t size);

// Closes fd when it is open (>= 0): 0, or the errno of the failed close.
int CloseFd(int fd);

}  // namespace kelta
