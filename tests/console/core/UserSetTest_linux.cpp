// The settings file's cases that need the Linux system: open descriptors counted, a FIFO and
// a device in the file's place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "base/Errors.h"
#include "console/core/UserSet.h"
#include "tests/support/Fifo.h"
#include "tests/support/Files.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::OpenDescriptorCount;
using test::TempDir;
using test::WriteFile;

TEST(UserSet, ShortFileFailsNamingItAndLeavesNothingOpen) {
  for (const size_t size : {size_t{0}, size_t{1}, kUserSetSize - 1}) {
    TempDir dir;
    WriteFile(dir.Path() + "UserSet.dat", std::string(size, '\x01'));
    TUserSet record;
    record.Store(UserSetField::PortName, "COM7");
    const TUserSet before = record;
    const int descriptors = OpenDescriptorCount();
    try {
      LoadUserSet(record, dir.Path());
      ADD_FAILURE() << "a file of " << size << " bytes was accepted";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find(dir.Path() + "UserSet.dat"), std::string::npos)
          << e.what();
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(record.bytes, before.bytes);
  }
}

// Something that is not a file in the settings file's place is refused at once, before it is
// opened: a FIFO would block the start for good, a device would be read or written.
TEST(UserSet, FifoOrDeviceInTheFilesPlaceIsRefusedWithoutBlocking) {
  TempDir dir;
  const std::string path = dir.Path() + "UserSet.dat";
  test::MakeFifo(path);
  TUserSet record;
  const auto refused = [&](const std::function<void()>& step, const std::string& kind) {
    bool blocked = false;
    const std::string message = test::CallBesideFifo(
        path,
        [&]() -> std::string {
          try {
            step();
          } catch (const EInOutError& e) {
            return e.what();
          }
          return "no error";
        },
        blocked);
    EXPECT_FALSE(blocked);
    EXPECT_NE(message.find("\"" + path + "\" (not a regular file: " + kind + ")"),
              std::string::npos)
        << message;
  };
  refused([&] { LoadUserSet(record, dir.Path()); }, "FIFO");
  refused([&] { SaveUserSet(record, dir.Path()); }, "FIFO");
  EXPECT_EQ(record.bytes, TUserSet{}.bytes);

  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
  refused([&] { LoadUserSet(record, dir.Path()); }, "character device");
  refused([&] { SaveUserSet(record, dir.Path()); }, "character device");
  EXPECT_EQ(record.bytes, TUserSet{}.bytes);
}

}  // namespace
}  // namespace kelta
