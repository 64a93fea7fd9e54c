#include <gtest/gtest.h>

#include <string>

#include "graphics/png/PngDecoder.h"
#include "graphics/png/PngErrors.h"

namespace kelta::gfx {
namespace {

// A device name is no picture: NUL would read as an empty file, CON would wait for the keyboard.
TEST(PngFile, DeviceNameIsRefused) {
  try {
    ReadPngFile("NUL");
    ADD_FAILURE() << "NUL was read";
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"NUL\". Not a regular file: character device");
  }
  // Without a console behind the program (a test run) Wine cannot describe the handle of CON
  // ("Bad file descriptor"); refused either way, and nothing is read.
  EXPECT_THROW(ReadPngFile("CON"), EFileOpenError);
}

}  // namespace
}  // namespace kelta::gfx
