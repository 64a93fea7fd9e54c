// The ports/comN link, on its own and as kelta-sim makes and removes it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "apps/sim/PortLink.h"
#include "serial/portmap/PortMap.h"
#include "tests/support/Files.h"
#include "tests/support/Pty.h"
#include "tests/support/RunTool.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace kelta::sim {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using test::TempDir;

std::string LinkTarget(const std::string& path) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(path, ec);
  return ec ? "" : target.string();
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(PortLink, LinksAndRemovesItsOwnLinkOnly) {
  TempDir dir;
  const std::string link = dir.Path() + "ports/com3";
  {
    PortLink portLink(dir.Path(), 3, "/dev/null", false);
    EXPECT_EQ(portLink.Path(), link);
    EXPECT_EQ(LinkTarget(link), "/dev/null");
  }
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(fs::is_directory(dir.Path() + "ports"));  // the folder stays for others

  {
    PortLink portLink(dir.Path(), 3, "/dev/null", false);
    // Someone else took the name over meanwhile: theirs stays.
    fs::remove(link);
    fs::create_symlink("/dev/zero", link);
  }
  EXPECT_EQ(LinkTarget(link), "/dev/zero");
}

TEST(PortLink, ReplacesOnlyDeadLinksUnlessForced) {
  TempDir dir;
  fs::create_directory(dir.Path() + "ports");
  const std::string link = dir.Path() + "ports/com4";

  fs::create_symlink("/dev/pts/does-not-exist", link);  // left from a killed run
  { PortLink replaced(dir.Path(), 4, "/dev/null", false); }

  fs::create_symlink("/dev/zero", link);  // a live link: another sensor's
  EXPECT_THROW(PortLink(dir.Path(), 4, "/dev/null", false), std::runtime_error);
  EXPECT_EQ(LinkTarget(link), "/dev/zero");
  {
    PortLink forced(dir.Path(), 4, "/dev/null", true);
    EXPECT_EQ(LinkTarget(link), "/dev/null");
  }

  std::ofstream(link) << "not a link";
  EXPECT_THROW(PortLink(dir.Path(), 4, "/dev/null", true), std::runtime_error);
  EXPECT_TRUE(fs::is_regular_file(link));

  EXPECT_THROW(PortLink(dir.Path() + "missing/", 5, "/dev/null", false), std::system_error);
  EXPECT_THROW(PortLink(dir.Path(), 0, "/dev/null", false), std::runtime_error);
}

// kelta-sim as a user starts it: prints where it is, links COM6, answers, and on SIGTERM
// or SIGINT removes the link, leaves the frame log whole and ends with status 0.
TEST(KeltaSimProgram, LinksTheComPortAndCleansUpOnSignal) {
  for (const int signal : {SIGTERM, SIGINT}) {
    TempDir dir;
    const std::string program = ExecutableDir() + "kelta-sim";
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string exeDir = dir.Path();
    const std::string frameLog = dir.Path() + "frames.log";
    const char* argv[] = {program.c_str(), "--com", "6",           "--exe-dir",      exeDir.c_str(),
                          "--angle",       "10.5",  "--frame-log", frameLog.c_str(), nullptr};
    const auto sentAfter = std::chrono::system_clock::now();
    pid_t pid = 0;
    ASSERT_EQ(
        posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ),
        0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    // Its two start lines: the device and the COM name.
    std::string printed;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (printed.find("COM6") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      printed.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_NE(printed.find("/dev/pts/"), std::string::npos) << printed;
    ASSERT_NE(printed.find("COM6"), std::string::npos) << printed;

    const std::string link = dir.Path() + "ports/com6";
    EXPECT_TRUE(LinkTarget(link).starts_with("/dev/pts/"));
    {
      test::PtyClient client(link);
      client.Write("#DATA\r\n");
      EXPECT_EQ(client.ReadUntilEnds("$", 5s),
                "\x02"
                "10.5\x17"
                "1A$");
    }

    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(Exists(link));
    close(out[0]);
    // The one frame: its number, when it left (microseconds since 1970) and its angle.
    const std::string logged = test::ReadFile(frameLog);
    const size_t comma = logged.find(',', 2);
    ASSERT_TRUE(logged.starts_with("0,") && comma != std::string::npos) << logged;
    EXPECT_EQ(logged.substr(comma), ",10.5\n");
    const auto sentAt = std::chrono::system_clock::time_point(
        std::chrono::microseconds(std::stoll(logged.substr(2, comma - 2))));
    EXPECT_GE(sentAt, std::chrono::time_point_cast<std::chrono::microseconds>(sentAfter));
    EXPECT_LE(sentAt, std::chrono::system_clock::now());
  }
}

// tools/run.sh asks kelta-sim for the number to link a device as, so the rule stays in
// serial/portmap: the same number, and the next one once a link takes it.
TEST(KeltaSimProgram, FreeComPrintsTheNumberTheMapLeavesFree) {
  TempDir dir;
  const std::string freeCom = test::ShellQuote(ExecutableDir() + "kelta-sim") + " --free-com";
  const long long first = FirstFreePortNumber(dir.Path());
  ASSERT_GT(first, 0);
  const test::ToolRun run = test::RunTool(freeCom + " --exe-dir " + test::ShellQuote(dir.Path()));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, std::to_string(first) + "\n");

  PortLink taken(dir.Path(), static_cast<int>(first), "/dev/null", false);
  const long long next = FirstFreePortNumber(dir.Path());
  EXPECT_GT(next, first);
  EXPECT_EQ(test::RunTool(freeCom + " --exe-dir " + test::ShellQuote(dir.Path())).out,
            std::to_string(next) + "\n");

  const test::ToolRun withValue = test::RunTool(freeCom + "=3");
  EXPECT_EQ(withValue.exitCode, 2);
  EXPECT_NE(withValue.err.find("--free-com: takes no value"), std::string::npos) << withValue.err;
}

}  // namespace
}  // namespace kelta::sim
