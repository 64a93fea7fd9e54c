// The recorder's state folder on its own: where it is by default, made private, refused when
// another user could reach into it, its files never opened through a link; and the identity
// kept in it, which names every reading for good across restarts and crashes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
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

// Sets the variables (nullptr: unset) for its lifetime, then puts the old values back.
class Environment {
 public:
  explicit Environment(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      value ? setenv(name, value, 1) : unsetenv(name);
    }
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  ~Environment() {
    for (const auto& [name, value] : saved_)
      value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
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

TEST(StateFolder, TheDefaultIsTheServicesOrTheUsersOwn) {
  {
    const Environment env({{"STATE_DIRECTORY", "/var/lib/kelta-record/line3:/var/lib/other"}});
    EXPECT_EQ(DefaultStateFolder("line3"), "/var/lib/kelta-record/line3");
  }
  {
    const Environment env({{"STATE_DIRECTORY", nullptr}, {"XDG_STATE_HOME", "/srv/state/"}});
    EXPECT_EQ(DefaultStateFolder("rig"), "/srv/state/kelta-record/rig");
  }
  // A relative XDG_STATE_HOME is not taken.
  const Environment env(
      {{"STATE_DIRECTORY", nullptr}, {"XDG_STATE_HOME", "state"}, {"HOME", "/home/op"}});
  EXPECT_EQ(DefaultStateFolder("rig"), "/home/op/.local/state/kelta-record/rig");
}

// Made with its missing parents, each private; the queue's files 0640 less the umask.
TEST(StateFolder, AMissingFolderIsMadePrivateAndItsFiles0640) {
  TempDir dir;
  const mode_t old = umask(0);
  {
    DiskQueue queue(dir.File("state/kelta-record/rig"), 10);
    queue.Push({"t", "m"});
  }
  umask(022);
  ReadingIdentity identity(dir.File("state/kelta-record/rig"), [](const std::string&) {});
  umask(old);
  EXPECT_EQ(ModeOf(dir.File("state")), 0700u);
  EXPECT_EQ(ModeOf(dir.File("state/kelta-record/rig")), 0700u);
  EXPECT_EQ(ModeOf(dir.File("state/kelta-record/rig/queue.dat")), 0640u);
  EXPECT_EQ(ModeOf(dir.File("state/kelta-record/rig/recorder-id")), 0640u);
}

// A folder someone else may write in, or that is someone else's, or a link: refused before
// anything is written in it, the message naming the folder and why.
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
  EXPECT_NE(Refusal([&] { FolderLock lock(open); }).find("can be written by its group (mode 0770)"),
            std::string::npos);
  EXPECT_EQ(Entries(open), std::vector<std::string>{});

  ASSERT_EQ(symlink(dir.File("elsewhere").c_str(), dir.File("link").c_str()), 0);
  ASSERT_EQ(mkdir(dir.File("elsewhere").c_str(), 0700), 0);
  EXPECT_NE(Refusal([&] { DiskQueue(dir.File("link"), 10); }).find("link/ is a symbolic link"),
            std::string::npos);
  EXPECT_EQ(Entries(dir.File("elsewhere")), std::vector<std::string>{});

  if (geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  const std::string theirs = dir.File("theirs");
  ASSERT_EQ(mkdir(theirs.c_str(), 0700), 0);
  ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
  EXPECT_NE(Refusal([&] {
              FolderLock lock(theirs);
            }).find(theirs + "/ belongs to nobody (uid 65534), not to root (uid 0)"),
            std::string::npos);
  EXPECT_EQ(Entries(theirs), std::vector<std::string>{});
}

// A link planted as any file of the queue or the identity, or a file of another user's: refused,
// and the file it leads to is neither read nor written.
TEST(StateFolder, ALinkOrAnotherUsersFileInItIsRefused) {
  TempDir dir;
  test::WriteFile(dir.File("target"), "their bytes");
  for (const std::string name :
       {"queue.dat", "queue.head", "queue.dat.new", "owner.lock", "recorder-id", "sequence"}) {
    SCOPED_TRACE(name);
    const std::string folder = dir.File("q-" + name);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(symlink(dir.File("target").c_str(), (folder + "/" + name).c_str()), 0);
    const std::string refusal = Refusal([&] {
      FolderLock lock(folder);
      DiskQueue queue(folder, 10);
      queue.Push({"t", "m"});
      ReadingIdentity identity(folder, [](const std::string&) {});
      identity.Next(1);
    });
    EXPECT_NE(refusal.find(folder + "/" + name + " is a symbolic link: refused"), std::string::npos)
        << refusal;
    EXPECT_EQ(test::ReadFile(dir.File("target")), "their bytes");
  }
  if (geteuid() != 0) GTEST_SKIP() << "a file of another user's needs root";
  const std::string folder = dir.File("other");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  test::WriteFile(folder + "/queue.dat", "their bytes");
  ASSERT_EQ(chown((folder + "/queue.dat").c_str(), 65534, 65534), 0);
  EXPECT_NE(Refusal([&] {
              DiskQueue(folder, 10);
            }).find("queue.dat belongs to nobody (uid 65534), not to root (uid 0)"),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(folder + "/queue.dat"), "their bytes");
}

struct IdentityRig {
  explicit IdentityRig(const std::string& folder)
      : identity(folder, [this](const std::string& line) { log += line + "\n"; }) {}
  std::string log;
  ReadingIdentity identity;
};

// The numbers go on across a run that ends as it should, and past every reserved one after a
// run that was killed (never again given); the recorder keeps its id across both.
TEST(ReadingIdentity, NumbersGoOnAcrossRestartsAndNeverRepeatAfterACrash) {
  TempDir dir;
  const std::string folder = dir.File("state");
  std::string id;
  {
    IdentityRig first(folder);
    id = first.identity.RecorderId();
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
    EXPECT_EQ(first.identity.Next(1), 1u);
    EXPECT_EQ(first.identity.Next(7), 1u);
    EXPECT_EQ(first.identity.Next(1), 2u);
    first.identity.Finish();
    EXPECT_EQ(first.log, "");
  }
  EXPECT_EQ(test::ReadFile(folder + "/recorder-id"), id + "\n");
  {
    IdentityRig second(folder);
    EXPECT_EQ(second.identity.RecorderId(), id);
    EXPECT_EQ(second.identity.Next(1), 3u);
    EXPECT_EQ(second.identity.Next(2), 1u);
    for (uint64_t n = 4; n < 2 * ReadingIdentity::kBlock; ++n) second.identity.Next(1);
    // Killed: no Finish.
  }
  IdentityRig third(folder);
  EXPECT_EQ(third.identity.RecorderId(), id);
  EXPECT_EQ(third.identity.Next(1), 2 * ReadingIdentity::kBlock + 3);
  EXPECT_EQ(third.identity.Next(7), 2u);
  EXPECT_EQ(third.identity.Next(2), ReadingIdentity::kBlock + 1);
  EXPECT_EQ(third.log, "");
}

// Numbers that are not known any more (the file gone, damaged, or another recorder's): a new
// id, said so, and numbers from 1 under it, so no (recorder, sensor, number) comes twice.
TEST(ReadingIdentity, UnknownNumbersMakeANewRecorder) {
  TempDir dir;
  const std::string folder = dir.File("state");
  const auto run = [&](const std::function<void()>& before) {
    before();
    IdentityRig rig(folder);
    const uint64_t first = rig.identity.Next(1);
    rig.identity.Next(1);
    rig.identity.Finish();
    return std::make_pair(rig.identity.RecorderId() + " " + std::to_string(first), rig.log);
  };
  const auto [original, quiet] = run([] {});
  EXPECT_EQ(quiet, "");
  const std::string sequence = folder + "/sequence";
  const std::vector<std::pair<std::string, std::function<void()>>> faults = {
      {"sequence is missing", [&] { unlink(sequence.c_str()); }},
      {"sequence is damaged",
       [&] {
         std::string text = test::ReadFile(sequence);
         text[text.size() - 3] = 'x';
         test::WriteFile(sequence, text);
       }},
      {"holds the numbers of recorder 0123456789abcdef0123456789abcdef",
       [&] { test::WriteFile(sequence, "recorder 0123456789abcdef0123456789abcdef\n1 5\n"); }},
      {"recorder-id is damaged", [&] { test::WriteFile(folder + "/recorder-id", "x\n"); }},
  };
  std::string last = original;
  for (const auto& [said, fault] : faults) {
    SCOPED_TRACE(said);
    const auto [now, log] = run(fault);
    EXPECT_NE(now, last);
    EXPECT_TRUE(now.ends_with(" 1")) << now;
    EXPECT_NE(log.find(said), std::string::npos) << log;
    EXPECT_NE(log.find("recording as the new recorder " + now.substr(0, 32)), std::string::npos)
        << log;
    last = now;
  }
}

// A reservation the disk refuses: the numbers go on, and the file of the numbers is removed,
// so a run after a crash takes a new id instead of giving a number twice.
TEST(ReadingIdentity, AReservationTheDiskRefusesLeavesTheNextRunANewId) {
  TempDir dir;
  const std::string folder = dir.File("state");
  std::string id;
  {
    IdentityRig rig(folder);
    id = rig.identity.RecorderId();
    EXPECT_EQ(rig.identity.Next(1), 1u);
    {
      const test::FileSizeLimit full(4);
      EXPECT_EQ(rig.identity.Next(2), 1u);
    }
    EXPECT_NE(rig.log.find("cannot reserve sequence numbers in " + folder + "/sequence"),
              std::string::npos)
        << rig.log;
    EXPECT_FALSE(Exists(folder + "/sequence"));
    // Killed.
  }
  IdentityRig next(folder);
  EXPECT_NE(next.identity.RecorderId(), id);
  EXPECT_EQ(next.identity.Next(2), 1u);
}

}  // namespace
}  // namespace kelta::record
