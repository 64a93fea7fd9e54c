#pragma once
// What reading a picture file asks of the system, one file per system
// (PngFileSource_linux.cpp, PngFileSource_win32.cpp); the decoder's source over it is written
// once in PngFileSource.cpp.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelta::gfx::png_file {

// Opens FileName (UTF-8) for reading in binary, only if it is a regular file: a FIFO would
// block the open (and the program) until another program opened its other end, a device might
// never end. Returns the descriptor and sets Size; on failure returns -1, closes what it opened
// and sets Reason to the system's text.
int OpenRegular(const std::string& FileName, std::uint64_t& Size, std::string& Reason);

// Up to Size bytes into Data: the count read, 0 at the end, negative on an error.
long long ReadSome(int Fd, std::uint8_t* Data, std::size_t Size);

void Close(int Fd);

}  // namespace kelta::gfx::png_file
