// Where the console's files live, with real folders and permissions. A folder without write
// permission stops every user but root, so as root the program's side of each case runs in a
// child process as the user nobody (the folders it must reach are opened to it first).
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/ConsoleFolders.h"
#include "base/Errors.h"
#include "console/core/UserSet.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr uid_t kNobody = 65534;

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
  }
  return names;
}

void MakeDir(const std::string& path, mode_t mode = 0755) {
  ASSERT_EQ(::mkdir(path.c_str(), mode), 0) << path;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;  // past the umask
}

// Runs what as the user the folders are made for: this process when it is not root, else a
// child that became nobody. Its lines come back as they were written (a child reports through
// a pipe).
std::string AsUser(const std::function<std::string()>& what) {
  if (::geteuid() != 0) return what();
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string out;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0)
      out = "could not become nobody";
    else
      out = what();
    const char* p = out.data();
    size_t left = out.size();
    while (left > 0) {
      const ssize_t n = ::write(fds[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return out;
}

// A folder the user may write in: as root, given to nobody.
void GiveToUser(const std::string& path) {
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0) << path;
  }
}

// prefix/bin (the executable's folder) and prefix/share/kelta with help.txt, as an
// installation lays them out; every folder readable by all.
struct Installed {
  Installed() {
    ::chmod(prefix.Path().c_str(), 0755);
    MakeDir(bin);
    MakeDir(prefix.Path() + "share");
    MakeDir(share);
    WriteFile(share + "help.txt", "installed help\r\n");
    MakeDir(prefix.Path() + "home", 0755);
    GiveToUser(prefix.Path() + "home");
  }
  ~Installed() { ::chmod(bin.c_str(), 0755); }
  TempDir prefix;
  const std::string bin = prefix.Path() + "bin/";
  const std::string share = prefix.Path() + "share/kelta/";
  const std::string userDir = prefix.Path() + "home/data/kelta/";  // parents missing too
};

std::string Describe(const ConsoleFolders& f) { return "files=" + f.files + " data=" + f.data; }

TEST(ConsoleFolders, WritableExecutableFolderKeepsEverythingBesideItAndLeavesNoTrace) {
  // A build folder or an unpacked copy: its help beside the program.
  Installed place;
  WriteFile(place.bin + "help.txt", "portable help\r\n");
  GiveToUser(place.bin);
  const std::string got =
      AsUser([&] { return Describe(ChooseConsoleFolders(place.bin, place.userDir)); });
  EXPECT_EQ(got, "files=" + place.bin + " data=" + place.bin);
  // Neither the probe file nor the user's data folder stays.
  EXPECT_EQ(Entries(place.bin), std::vector<std::string>{"help.txt"});
  EXPECT_TRUE(Entries(place.prefix.Path() + "home").empty());
  // Without any help, a writable folder is still the program's own.
  TempDir bare;
  EXPECT_EQ(Describe(ChooseConsoleFolders(bare.Path(), place.userDir)),
            "files=" + bare.Path() + " data=" + bare.Path());
  // The current folder (no executable folder known) stays the current folder.
  EXPECT_EQ(Describe(ChooseConsoleFolders("", place.userDir)), "files= data=");
}

TEST(ConsoleFolders, AnInstallationWritesInTheUserDataFolderEvenWhereItMayWriteBesideItself) {
  // Root may write in /usr/bin; nothing of one user's belongs there.
  Installed place;
  GiveToUser(place.bin);
  const std::string got =
      AsUser([&] { return Describe(ChooseConsoleFolders(place.bin, place.userDir)); });
  EXPECT_EQ(got, "files=" + place.userDir + " data=" + place.bin + "../share/kelta/");
  EXPECT_TRUE(Entries(place.bin).empty());
}

TEST(ConsoleFolders, ASetupProgramsFolderWritesInTheUserDataFolderAndReadsBesideItself) {
  // A per-user installation: the user may write in it, but its uninstaller removes it, so the
  // settings, the log and the recordings must not be there.
  Installed place;
  WriteFile(place.bin + "help.txt", "installer's help\r\n");
  WriteFile(place.bin + kInstalledMarker, "installed\r\n");
  GiveToUser(place.bin);
  const std::string got = AsUser([&] {
    const ConsoleFolders f = ChooseConsoleFolders(place.bin, place.userDir);
    return Describe(f) + " help=" + ReadFile(f.data + "help.txt");
  });
  EXPECT_EQ(got, "files=" + place.userDir + " data=" + place.bin + " help=installer's help\r\n");
  EXPECT_EQ(Entries(place.bin).size(), 2u);
}

TEST(ConsoleFolders, ReadOnlyExecutableFolderWritesInTheUserDataFolder) {
  Installed place;
  ASSERT_EQ(::chmod(place.bin.c_str(), 0555), 0);
  const std::string got = AsUser([&] {
    const ConsoleFolders f = ChooseConsoleFolders(place.bin, place.userDir);
    // The settings file goes where the rule says, as the console writes it.
    TUserSet record;
    LoadUserSet(record, f.files);
    record.Store(UserSetField::PortName, "COM9");
    SaveUserSet(record, f.files);
    return Describe(f) + " help=" + ReadFile(f.data + "help.txt");
  });
  EXPECT_EQ(got, "files=" + place.userDir + " data=" + place.bin + "../share/kelta/" +
                     " help=installed help\r\n");
  const std::string bytes = ReadFile(place.userDir + "UserSet.dat");
  EXPECT_EQ(bytes.size(), kUserSetSize);
  EXPECT_EQ(bytes.substr(0, 5), std::string("\x04"
                                            "COM9",
                                            5));
  EXPECT_TRUE(Entries(place.bin).empty());
  // Made for the user alone.
  struct stat st;
  ASSERT_EQ(::stat(place.userDir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(ConsoleFolders, HelpBesideAReadOnlyExecutableIsReadThere) {
  // A portable copy on a read-only medium: its own help and pictures, the user's settings.
  Installed place;
  WriteFile(place.bin + "help.txt", "portable help\r\n");
  ASSERT_EQ(::chmod(place.bin.c_str(), 0555), 0);
  EXPECT_EQ(AsUser([&] { return Describe(ChooseConsoleFolders(place.bin, place.userDir)); }),
            "files=" + place.userDir + " data=" + place.bin);
  // Nothing installed beside it either: the executable's folder stays the data folder.
  TempDir bare;
  ::chmod(bare.Path().c_str(), 0555);
  EXPECT_EQ(AsUser([&] { return Describe(ChooseConsoleFolders(bare.Path(), place.userDir)); }),
            "files=" + place.userDir + " data=" + bare.Path());
  ::chmod(bare.Path().c_str(), 0700);
}

TEST(ConsoleFolders, NoUserDataFolderKeepsTheFilesOwnFailureMessages) {
  Installed place;
  WriteFile(place.prefix.Path() + "home/file", "x");
  GiveToUser(place.prefix.Path() + "home/file");
  ASSERT_EQ(::chmod(place.bin.c_str(), 0555), 0);
  for (const std::string& userDir : {place.prefix.Path() + "home/file/kelta/", std::string()}) {
    const std::string got = AsUser([&] {
      const ConsoleFolders f = ChooseConsoleFolders(place.bin, userDir);
      TUserSet record;
      try {
        SaveUserSet(record, f.files);
        return Describe(f) + " saved";
      } catch (const EInOutError& e) {
        return Describe(f) + " " + e.what();
      }
    });
    EXPECT_EQ(got, "files=" + place.bin + " data=" + place.bin + "../share/kelta/" +
                       " Cannot create \"" + place.bin + "UserSet.dat\" (13), Permission denied")
        << "user folder " << userDir;
  }
}

TEST(ConsoleFolders, WritableMeansAFileCanBeMadeThere) {
  TempDir dir;
  EXPECT_TRUE(FolderWritable(dir.Path()));
  EXPECT_TRUE(Entries(dir.Path()).empty());
  // Not even root makes files in /proc.
  EXPECT_FALSE(FolderWritable("/proc/"));
  EXPECT_FALSE(FolderWritable(dir.Path() + "missing/"));
}

// Sets an environment variable for one scope (nullptr: unset).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ConsoleFolders, UserDataFolderFollowsTheEnvironment) {
  struct Case {
    const char* xdg;
    const char* home;
    const char* expected;
  };
  const Case cases[] = {
      {"/x/data", "/home/op", "/x/data/kelta/"},
      {"/x/data/", "/home/op", "/x/data/kelta/"},
      {nullptr, "/home/op", "/home/op/.local/share/kelta/"},
      {"", "/home/op/", "/home/op/.local/share/kelta/"},
      // A relative one counts as unset.
      {"data", "/home/op", "/home/op/.local/share/kelta/"},
      {nullptr, nullptr, ""},
      {nullptr, "relative", ""},
  };
  for (const Case& c : cases) {
    ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(UserDataFolder(), c.expected) << "XDG_DATA_HOME=" << (c.xdg ? c.xdg : "(unset)")
                                            << " HOME=" << (c.home ? c.home : "(unset)");
  }
}

}  // namespace
}  // namespace kelta
