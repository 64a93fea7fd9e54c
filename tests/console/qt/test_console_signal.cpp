// The end of a desktop session while recording: the console runs as the program runs it (its
// own process, its event loop ended by the window), recording a sensor at 100 readings a
// second, and is sent SIGTERM as a logout or shutdown sends it, or loses its display (an Xvfb
// of its own, ended). A test program of its own: the console's process is forked from a test
// process that has no toolkit running yet.

#include "tests/console/qt/SensorRig.h"

#include "console/qt/ConsoleApplication.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kelta::test {
namespace {

void Say(int fd, const std::string& line) {
  const std::string text = line + "\n";
  [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
}

// The console's process: connects, records into `folder`, reads continuously, and tells `fd`
// "ready" then every reading the window accepted; ends with the event loop's code.
[[noreturn]] void RunConsole(const std::string& folder, int fd) {
  int rc = 2;
  {
    sim::SensorConfig config;
    config.countFrom = 1;
    config.framesPerSecond = 100;
    SensorRig rig(config);
    TFVANTORIS& w = rig.w();
    rig.console->boxes->folder = QString::fromStdString(folder);
    Click(w, "btFolder");
    if (!rig.Connect()) {
      Say(fd, "error: no connection");
      ::_exit(2);
    }
    w.Form().AngleReceived.Attach([fd](double v) {
      char text[32];
      std::snprintf(text, sizeof text, "%.17g", v);
      Say(fd, text);
    });
    Click(w, "btRecord");
    Say(fd, "ready");
    Click(w, "btREAD");
    rc = static_cast<ConsoleApplication*>(QCoreApplication::instance())->RunWindow(w);
  }
  ::_exit(rc);
}

// The console's lines as they come; false at its end, or after 30 s of silence (a console
// that hangs).
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  bool Next(std::string& line) {
    for (;;) {
      if (const size_t end = pending_.find('\n'); end != std::string::npos) {
        line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return true;
      }
      pollfd p{fd_, POLLIN, 0};
      char buffer[4096];
      if (::poll(&p, 1, 30000) <= 0) return false;
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) return false;
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }

 private:
  int fd_;
  std::string pending_;
};

// The console's run in its own process (on `platform`): a second of readings, then `end`
// while some are still to be written, then whatever it still accepted until it ended; its exit
// status, every reading it accepted, and the rows of its recording.
struct ConsoleRun {
  int status = 0;
  std::vector<std::string> accepted;
  std::vector<std::string> rows;
};

void RunUntil(const char* platform, const std::function<void(pid_t)>& end, ConsoleRun& run) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr) << "the toolkit must start in the child";
  TempDir records;
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(pipe[0]);
    ::setenv("QT_QPA_PLATFORM", platform, 1);
    RunConsole(records.Path(), pipe[1]);
  }
  ::close(pipe[1]);
  LineReader reader(pipe[0]);
  std::string line;
  const bool ready = reader.Next(line) && line == "ready";
  // Rows are written a quarter of a second at a time: the end comes while some wait.
  const auto rowsOnDisk = [&records] {
    size_t rows = 0;
    for (const auto& entry : std::filesystem::directory_iterator(records.Path()))
      for (const char c : ReadFile(entry.path().string())) rows += c == '\n';
    return rows == 0 ? 0 : rows - 1;
  };
  while (ready && (run.accepted.size() < 100 || rowsOnDisk() >= run.accepted.size()) &&
         reader.Next(line))
    run.accepted.push_back(line);
  end(pid);
  while (reader.Next(line)) run.accepted.push_back(line);
  ::close(pipe[0]);
  ASSERT_EQ(::waitpid(pid, &run.status, 0), pid);
  ASSERT_TRUE(ready) << line;
  ASSERT_GE(run.accepted.size(), 100u);

  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(records.Path()))
    files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  run.rows = ReadLines(files[0].string());
  ASSERT_FALSE(run.rows.empty());
  run.rows.erase(run.rows.begin());  // the header
  std::printf("%zu readings accepted, %zu rows in the file\n", run.accepted.size(),
              run.rows.size());
}

// Every accepted reading has its row, in order, and no row is more.
void ExpectEveryReadingRecorded(const ConsoleRun& run) {
  ASSERT_EQ(run.rows.size(), run.accepted.size());
  for (size_t i = 0; i < run.rows.size(); ++i) {
    const std::string& row = run.rows[i];
    const size_t angle = row.find(',', row.find(',') + 1) + 1;
    EXPECT_EQ(std::stod(row.substr(angle)), std::stod(run.accepted[i])) << row;
  }
}

TEST(ConsoleSignal, SigtermWhileRecordingClosesAsTheTitleBarDoesAndKeepsEveryReading) {
  ConsoleRun run;
  RunUntil(
      "offscreen", [](pid_t pid) { ::kill(pid, SIGTERM); }, run);
  if (HasFatalFailure()) return;
  // The program's exit code, or minus the signal that ended it.
  EXPECT_EQ(WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -WTERMSIG(run.status), 0);
  ExpectEveryReadingRecorded(run);
}

// The display going away (the X server ends with the session) ends the program from inside
// the toolkit; what the recording holds is kept first.
TEST(ConsoleSignal, TheDisplayGoingAwayKeepsEveryReading) {
  const char* const xvfb = "/usr/bin/Xvfb";
  if (::access(xvfb, X_OK) != 0) GTEST_SKIP() << "needs Xvfb";
  // A display of its own: Xvfb picks a free number and names it on the pipe.
  int named[2];
  ASSERT_EQ(::pipe(named), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, named[1], 3);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const char* args[] = {xvfb,      "-displayfd", "3",           "-nolisten", "tcp",
                        "-screen", "0",          "1024x768x24", nullptr};
  pid_t server = 0;
  const int spawned =
      posix_spawn(&server, xvfb, &actions, nullptr, const_cast<char**>(args), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(named[1]);
  ASSERT_EQ(spawned, 0);
  LineReader displays(named[0]);
  std::string display;
  const bool started = displays.Next(display);
  ::close(named[0]);
  if (!started) {
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    FAIL() << "Xvfb named no display";
  }
  ::setenv("DISPLAY", (":" + display).c_str(), 1);

  ConsoleRun run;
  RunUntil(
      "xcb",
      [server](pid_t) {
        ::kill(server, SIGKILL);
        ::waitpid(server, nullptr, 0);
      },
      run);
  if (HasFatalFailure()) return;
  EXPECT_FALSE(WIFSIGNALED(run.status)) << "ended by signal " << WTERMSIG(run.status);
  ExpectEveryReadingRecorded(run);
}

}  // namespace
}  // namespace kelta::test
