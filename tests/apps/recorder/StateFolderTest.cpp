// The recorder's state folder on its own: where it is by default, made private, refused when
// another user could reach into it, its files never opened through a link; and the identity
// kept in it, which names every reading for good across restarts and crashes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "apps/recorder/DiskQueue.h"
#include "apps/recorder/ReadingIdentity.h"
#include "apps/recorder/RecordSystem.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta::record {
namespace {

using test::TempDir;

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// What the call refused with; "accepted" when it did not.
std::string Refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const UnsafeState& e) {
    return e.what();
  }
  return "accepted";
}

TEST(StateFolder, TheDefaultIsTheServicesOrTheUsersOwnMadePrivate) {
  TempDir dir;
  setenv("STATE_DIRECTORY", "/var/lib/kelta-record/line3:/var/lib/other", 1);
  EXPECT_EQ(DefaultStateFolder("line3"), "/var/lib/kelta-record/line3");
  unsetenv("STATE_DIRECTORY");
  setenv("XDG_STATE_HOME", "state", 1);  // not absolute: not taken
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", "/home/op", 1);
  EXPECT_EQ(DefaultStateFolder("rig"), "/home/op/.local/state/kelta-record/rig");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_STATE_HOME", dir.File("state/").c_str(), 1);
  const std::string folder = DefaultStateFolder("rig");
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(folder, dir.File("state/kelta-record/rig"));
  // Made with its missing parents, each private; its files 0640, less the umask.
  const mode_t old = umask(0);
  DiskQueue(folder, 10).Push({"t", "m"});
  umask(old);
  EXPECT_EQ(ModeOf(dir.File("state")), 0700u);
  EXPECT_EQ(ModeOf(folder), 0700u);
  EXPECT_EQ(ModeOf(folder + "/queue.dat"), 0640u);
}

// A folder someone else may write in, someone else's, or a link: refused before anything is
// written in it, the message naming the folder and why.
TEST(StateFolder, AFolderOthersCouldWriteInIsRefused) {
  TempDir dir;
  const std::string open = dir.File("open");
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  EXPECT_EQ(Refusal([&] { DiskQueue(open, 10); }),
            "the state folder " + open +
                "/ can be written by every user (mode 0777): refused: whoever else owns or "
                "writes there could change or replace the readings that wait in it, or lead the "
                "recorder's writing elsewhere. Give --queue-dir a folder of this user's that only "
                "it can write (chmod 700), or leave it out for the user's own");
  ASSERT_EQ(chmod(open.c_str(), 0770), 0);
  EXPECT_NE(Refusal([&] { FolderLock lock(open); }).find("by its group (mode 0770)"),
            std::string::npos);
  ASSERT_EQ(mkdir(dir.File("elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(symlink(dir.File("elsewhere").c_str(), dir.File("link").c_str()), 0);
  EXPECT_NE(Refusal([&] { DiskQueue(dir.File("link"), 10); }).find("link/ is a symbolic link"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(open));
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("elsewhere")));

  if (geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  const std::string theirs = dir.File("theirs");
  ASSERT_EQ(mkdir(theirs.c_str(), 0700), 0);
  ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
  EXPECT_NE(Refusal([&] {
              FolderLock lock(theirs);
            }).find(theirs + "/ belongs to nobody (uid 65534), not to root (uid 0)"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(theirs));
}

// A link planted as any file of the queue or the identity, or a file of another user's: refused,
// and the file it leads to is neither read nor written.
TEST(StateFolder, ALinkOrAnotherUsersFileInItIsRefused) {
  TempDir dir;
  test::WriteFile(dir.File("target"), "their bytes");
  for (const std::string name :
       {"queue.dat", "queue.head", "queue.dat.new", "owner.lock", "recorder-id", "sequence"}) {
    const std::string folder = dir.File("q-" + name);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(symlink(dir.File("target").c_str(), (folder + "/" + name).c_str()), 0);
    EXPECT_NE(Refusal([&] {
                FolderLock lock(folder);
                DiskQueue(folder, 10).Push({"t", "m"});
                ReadingIdentity(folder, [](const std::string&) {}).Next(1);
              }).find(folder + "/" + name + " is a symbolic link: refused"),
              std::string::npos)
        << name;
  }
  if (geteuid() == 0) {
    const std::string folder = dir.File("other");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    test::WriteFile(folder + "/queue.dat", "their bytes");
    ASSERT_EQ(chown((folder + "/queue.dat").c_str(), 65534, 65534), 0);
    EXPECT_NE(Refusal([&] { DiskQueue(folder, 10); }).find("queue.dat belongs to nobody"),
              std::string::npos);
    EXPECT_EQ(test::ReadFile(folder + "/queue.dat"), "their bytes");
  }
  EXPECT_EQ(test::ReadFile(dir.File("target")), "their bytes");
}

struct IdentityRig {
  explicit IdentityRig(const std::string& folder)
      : identity(folder, [this](const std::string& line) { log += line + "\n"; }) {}
  std::string log;
  ReadingIdentity identity;
};

// The numbers go on without a gap after a run that ended by Finish, and past every reserved
// one after a run that did not (killed): never given twice. The id stays.
TEST(ReadingIdentity, NumbersGoOnAcrossRestartsAndNeverRepeatAfterACrash) {
  TempDir dir;
  const std::string folder = dir.File("state");
  std::string id;
  {
    IdentityRig first(folder);
    id = first.identity.RecorderId();
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(first.identity.Next(1), 1u);
    EXPECT_EQ(first.identity.Next(7), 1u);
    EXPECT_EQ(first.identity.Next(1), 2u);
    first.identity.Finish();
  }
  EXPECT_EQ(test::ReadFile(folder + "/recorder-id"), id + "\n");
  {
    IdentityRig second(folder);
    EXPECT_EQ(second.identity.Next(1), 3u);
    EXPECT_EQ(second.identity.Next(2), 1u);
    for (uint64_t n = 4; n < 2 * ReadingIdentity::kBlock; ++n) second.identity.Next(1);
  }
  IdentityRig third(folder);
  EXPECT_EQ(third.identity.RecorderId(), id);
  EXPECT_EQ(third.identity.Next(1), 2 * ReadingIdentity::kBlock + 3);
  EXPECT_EQ(third.identity.Next(7), 2u);
  EXPECT_EQ(third.identity.Next(2), ReadingIdentity::kBlock + 1);
  EXPECT_EQ(third.log, "");
}

// Numbers that are not known any more (the file gone, damaged, another id's, or one the disk
// refused to reserve) give a new id, said so, with numbers from 1: no name comes twice.
TEST(ReadingIdentity, UnknownNumbersMakeANewRecorder) {
  TempDir dir;
  const std::string folder = dir.File("state");
  const std::string sequence = folder + "/sequence";
  std::string last = IdentityRig(folder).identity.RecorderId();
  const std::vector<std::pair<const char*, std::function<void()>>> faults = {
      {"sequence is missing", [&] { unlink(sequence.c_str()); }},
      {"sequence is damaged", [&] { test::WriteFile(sequence, "recorder " + last + "\n1x3\n"); }},
      {"holds the numbers of recorder 0123456789abcdef0123456789abcdef",
       [&] { test::WriteFile(sequence, "recorder 0123456789abcdef0123456789abcdef\n1 5\n"); }},
      {"recorder-id is damaged", [&] { test::WriteFile(folder + "/recorder-id", "x\n"); }},
      {"sequence is missing", [&] {
         IdentityRig rig(folder);
         rig.identity.Next(1);
         const test::FileSizeLimit full(4);
         rig.identity.Next(2);
         EXPECT_NE(rig.log.find("cannot reserve sequence numbers in " + sequence),
                   std::string::npos);
       }}};
  for (const auto& [said, fault] : faults) {
    fault();
    IdentityRig rig(folder);
    EXPECT_NE(rig.identity.RecorderId(), last);
    EXPECT_EQ(rig.identity.Next(1), 1u) << said;
    EXPECT_NE(rig.log.find(said), std::string::npos) << rig.log;
    EXPECT_NE(rig.log.find("recording as the new recorder " + rig.identity.RecorderId()),
              std::string::npos)
        << rig.log;
    rig.identity.Finish();
    last = rig.identity.RecorderId();
  }
}

}  // namespace
}  // namespace kelta::record
