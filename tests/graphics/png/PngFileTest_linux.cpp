#include <gtest/gtest.h>

#include "graphics/png/PngDecoder.h"
#include "graphics/png/PngErrors.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/TempDir.h"

namespace kelta::gfx {
namespace {

// A folder opens on Linux before it is found out; the refusal must close it again, or every
// wrong picture path costs the program a descriptor.
TEST(PngFile, RefusedFolderLeavesNoDescriptorOpen) {
  const kelta::test::TempDir dir;
  const int before = kelta::test::OpenDescriptorCount();
  for (int i = 0; i < 3; ++i) EXPECT_THROW(ReadPngFile(dir.Path()), EFileOpenError);
  EXPECT_EQ(kelta::test::OpenDescriptorCount(), before);
}

}  // namespace
}  // namespace kelta::gfx
