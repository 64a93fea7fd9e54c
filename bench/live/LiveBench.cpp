// bench_console_live: the real console program under its own X server (Xvfb) against kelta-sim
// streaming at 10, 100 and 1000 frames/s, each for 20 s, beside qt_peer_console, the same job
// written as a plain Qt program, under the same X server in the same run.
//
// For each program and rate: its CPU (user + system, all threads, from /proc/PID/stat) and the
// X server's over the streaming time, in percent of one core; the lag from a frame's write
// (kelta-sim's frame log) to its row in the recording (the row's own time, taken as the frame
// was decoded), p50 and p99; the frames and bytes sent but never recorded; and for the console
// how long a "#STOP" click took to reach the sensor (the console pauses 200 ms before every
// command it sends; the rest is the click waiting for its turn). Frames are told apart by their
// angles: kelta-sim counts 1.1 degrees a frame round the dial, so 3600 frames in a row all differ
// (and at 1000 frames/s the needle sweeps far at every showing, the dial's hardest case).
//
// The console is driven as an operator drives it, by clicks (xdotool) on the places its form's
// layout table gives: the port typed into the combo box, Connect, Record, "#READ", "#STOP",
// Record again. It runs from a copy in a temporary folder, so its settings, its port links and
// its recordings are the run's own.
//
//   bench_console_live [--rates 10,100,1000] [--seconds 20] [--console PATH]
//                      [--benchmark_... flags]
//
// Needs Xvfb and xdotool (tools/setup-deps.sh installs both). Run by hand; tools/test.sh only
// builds it.

#include "console/form/FormLayout.h"
#include "tests/support/RunTool.h"
#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Frames a second angle step: 11 tenths, prime to the 3600 tenths of a turn.
constexpr const char* kCountStep = "1.1";
constexpr int kDistinctFrames = 3600;
// STX, ETB, two check characters and "$" around the angle's text.
constexpr size_t kFrameOverhead = 5;

struct Options {
  std::vector<int> rates{10, 100, 1000};
  int seconds = 20;
  std::string console;  // the KELTA_Dispaly to run; default: the one beside this program
};
Options gOptions;

std::string ProgramDir() { return fs::canonical("/proc/self/exe").parent_path().string() + "/"; }

[[noreturn]] void Fail(const std::string& why) { throw std::runtime_error(why); }

// A program started in the background, ended (SIGTERM, then SIGKILL) when it goes out of scope.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
        const std::string& output, const std::string& folder = {}) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (!env.contains(entry.substr(0, entry.find('=')))) environment.push_back(entry);
    }
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const int rc = posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) Fail("cannot start " + args[0] + ": " + std::strerror(rc));
  }
  ~Child() { Stop(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = 0;
      status_ = status;
    }
    return pid_ > 0;
  }
  // Waits up to `wait` for it to end by itself; true when it did.
  bool WaitEnd(Clock::duration wait) {
    const auto deadline = Clock::now() + wait;
    while (Running() && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    return !Running();
  }
  // SIGTERM, then SIGKILL after 5 s. The exit status, or -1 when it had to be killed.
  int Stop() {
    if (!Running()) return ExitStatus();
    kill(pid_, SIGTERM);
    if (!WaitEnd(5s)) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = 0;
      return -1;
    }
    return ExitStatus();
  }
  int ExitStatus() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

 private:
  pid_t pid_ = 0;
  int status_ = 0;
};

// User + system CPU seconds of a process, all its threads (the dead ones too).
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields 3 (state) .. 13, then utime (14) and stime (15).
  for (int i = 3; i <= 13; ++i) fields >> field;
  fields >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

long long WallMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool WaitFor(const std::function<bool()>& done, Clock::duration limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The X server for the whole run, on a display number it chooses itself (-displayfd).
class XServer {
 public:
  explicit XServer(const std::string& logPath) {
    int fds[2];
    if (pipe(fds) != 0) Fail("pipe");
    const std::string args[] = {"/usr/bin/Xvfb", "-screen", "0",          "1280x1024x24",
                                "-nolisten",     "tcp",     "-displayfd", std::to_string(fds[1])};
    server_.emplace(std::vector<std::string>(std::begin(args), std::end(args)),
                    std::map<std::string, std::string>{}, logPath);
    close(fds[1]);
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) Fail("Xvfb did not start (see " + logPath + ")");
    display_ = ":" + number;
  }
  const std::string& Display() const { return display_; }
  pid_t Pid() const { return server_->Pid(); }

 private:
  std::optional<Child> server_;
  std::string display_;
};
std::optional<XServer> gX;

std::string Xdotool(const std::string& args) {
  const kelta::test::ToolRun run =
      kelta::test::RunTool("DISPLAY=" + gX->Display() + " xdotool " + args + " 2>&1");
  return run.out;
}

// A frame as kelta-sim logged it: when it was written and its angle in tenths.
struct SentFrame {
  long long micros = 0;
  long long tenths = 0;
  size_t bytes = 0;
};

// A recorded row: when the reader decoded it and its angle in tenths.
struct Row {
  long long micros = 0;
  long long tenths = 0;
};

long long Tenths(double angle) { return std::llround(angle * 10); }

std::vector<SentFrame> ReadFrameLog(const std::string& path) {
  std::vector<SentFrame> frames;
  std::istringstream in(ReadText(path));
  for (std::string line; std::getline(in, line);) {
    const size_t a = line.find(','), b = line.find(',', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    const std::string text = line.substr(b + 1);
    frames.push_back({std::stoll(line.substr(a + 1, b - a - 1)), Tenths(std::stod(text)),
                      text.size() + kFrameOverhead});
  }
  return frames;
}

// "2026-12-07T14:02:11.250+01:00" as microseconds since 1970.
long long IsoMicros(const std::string& text) {
  std::tm t{};
  int millis = 0, offsetHours = 0, offsetMinutes = 0;
  char sign = '+';
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%d%c%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                  &t.tm_hour, &t.tm_min, &t.tm_sec, &millis, &sign, &offsetHours,
                  &offsetMinutes) < 7)
    return 0;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  long long seconds = timegm(&t);
  const long long offset = (offsetHours * 60LL + offsetMinutes) * 60;
  seconds += sign == '-' ? offset : -offset;
  return seconds * 1'000'000 + millis * 1000LL;
}

// The console's recording: time,seconds,angle,line,port,sensor_id after a header.
std::vector<Row> ReadConsoleRecording(const std::string& path) {
  std::vector<Row> rows;
  std::istringstream in(ReadText(path));
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    const size_t a = line.find(','), b = line.find(',', a + 1), c = line.find(',', b + 1);
    if (c == std::string::npos) continue;
    rows.push_back(
        {IsoMicros(line.substr(0, a)), Tenths(std::stod(line.substr(b + 1, c - b - 1)))});
  }
  return rows;
}

// The peer's: "<milliseconds since 1970>,<frame text>".
std::vector<Row> ReadPeerRecording(const std::string& path) {
  std::vector<Row> rows;
  std::istringstream in(ReadText(path));
  for (std::string line; std::getline(in, line);) {
    const size_t a = line.find(',');
    if (a == std::string::npos) continue;
    rows.push_back({std::stoll(line.substr(0, a)) * 1000, Tenths(std::stod(line.substr(a + 1)))});
  }
  return rows;
}

struct Figures {
  std::string program;
  int rate = 0;
  double cpuPercent = 0;
  double xCpuPercent = 0;
  double lagP50Ms = 0;
  double lagP99Ms = 0;
  uint64_t framesSent = 0;
  uint64_t rowsRecorded = 0;
  uint64_t framesLost = 0;
  uint64_t bytesLost = 0;
  uint64_t rowsUnmatched = 0;
  double stopClickMs = -1;  // the console only
  // Frames the sensor got out per second while the CPU was measured: below the rate asked
  // when a reader that does not keep up holds the line back (or the machine the sensor).
  double sentPerSecond = 0;
  double cpuMicrosPerFrame = 0;
  // The streaming time the CPU was measured over, in microseconds since 1970.
  long long windowBegin = 0, windowEnd = 0;
};

// Pairs rows with frames in order: a row is the next frame with its angle (within the 3600
// that all differ); frames passed over were lost.
void Pair(const std::vector<SentFrame>& frames, const std::vector<Row>& rows, Figures& f) {
  std::vector<double> lags;
  size_t next = 0;
  for (const Row& row : rows) {
    size_t at = next;
    const size_t end = std::min(frames.size(), next + kDistinctFrames);
    while (at < end && frames[at].tenths != row.tenths) ++at;
    if (at == end) {
      ++f.rowsUnmatched;
      continue;
    }
    for (size_t lost = next; lost < at; ++lost) {
      ++f.framesLost;
      f.bytesLost += frames[lost].bytes;
    }
    // Rows carry whole milliseconds: the frame's time is cut to its millisecond too.
    lags.push_back(static_cast<double>(row.micros / 1000 - frames[at].micros / 1000));
    next = at + 1;
  }
  for (size_t lost = next; lost < frames.size(); ++lost) {
    ++f.framesLost;
    f.bytesLost += frames[lost].bytes;
  }
  f.framesSent = frames.size();
  f.rowsRecorded = rows.size();
  const auto inWindow = std::count_if(frames.begin(), frames.end(), [&f](const SentFrame& s) {
    return s.micros >= f.windowBegin && s.micros < f.windowEnd;
  });
  if (f.windowEnd > f.windowBegin) {
    const double seconds = static_cast<double>(f.windowEnd - f.windowBegin) / 1e6;
    f.sentPerSecond = static_cast<double>(inWindow) / seconds;
    if (inWindow > 0)
      f.cpuMicrosPerFrame = f.cpuPercent / 100.0 * seconds * 1e6 / static_cast<double>(inWindow);
  }
  if (!lags.empty()) {
    std::sort(lags.begin(), lags.end());
    const auto at = [&lags](double q) {
      return lags[std::min(lags.size() - 1,
                           static_cast<size_t>(q * static_cast<double>(lags.size())))];
    };
    f.lagP50Ms = at(0.50);
    f.lagP99Ms = at(0.99);
  }
}

// kelta-sim counting round the dial at `rate`, linked as COM<n> for the console in exeDir.
class Sensor {
 public:
  Sensor(const kelta::test::TempDir& run, const std::string& exeDir, int rate) {
    const std::string sim = ProgramDir() + "kelta-sim";
    const kelta::test::ToolRun free = kelta::test::RunTool(
        kelta::test::ShellQuote(sim) + " --free-com --exe-dir " + kelta::test::ShellQuote(exeDir));
    com_ = std::atoi(free.out.c_str());
    if (com_ < 1) Fail("kelta-sim --free-com: " + free.out + free.err);
    frameLog_ = run.File("frames.log");
    output_ = run.File("sim.out");
    child_.emplace(std::vector<std::string>{sim, "--com", std::to_string(com_), "--exe-dir", exeDir,
                                            "--count", "-180", "--count-step", kCountStep,
                                            "--count-wrap", "360", "--rate", std::to_string(rate),
                                            "--frame-log", frameLog_, "--verbose"},
                   std::map<std::string, std::string>{}, output_);
    link_ = exeDir + "ports/com" + std::to_string(com_);
    if (!WaitFor([this] { return fs::is_symlink(link_); }, 10s))
      Fail("kelta-sim did not link " + link_ + ": " + ReadText(output_));
  }
  int Com() const { return com_; }
  const std::string& Link() const { return link_; }
  // True once the sensor has received this command line (kelta-sim --verbose prints them).
  bool Heard(const std::string& command) const {
    return ReadText(output_).find("<- " + command + "\n") != std::string::npos;
  }
  bool WaitHeard(const std::string& command, Clock::duration limit) const {
    return WaitFor([&] { return Heard(command); }, limit);
  }
  // Stops the sensor (its frame log is then whole) and reads the log.
  std::vector<SentFrame> StopAndReadFrames() {
    child_->Stop();
    return ReadFrameLog(frameLog_);
  }

 private:
  int com_ = 0;
  std::string frameLog_, output_, link_;
  std::optional<Child> child_;
};

// The busy-part CPU of a program and of the X server over the streaming time.
struct CpuWindow {
  pid_t program = 0;
  double programStart = 0, xStart = 0;
  Clock::time_point start;
  long long wallStart = 0;
  void Begin(pid_t pid) {
    wallStart = WallMicros();
    program = pid;
    programStart = CpuSeconds(pid);
    xStart = CpuSeconds(gX->Pid());
    start = Clock::now();
  }
  void End(Figures& f) const {
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    f.cpuPercent = 100.0 * (CpuSeconds(program) - programStart) / wall;
    f.xCpuPercent = 100.0 * (CpuSeconds(gX->Pid()) - xStart) / wall;
    f.windowBegin = wallStart;
    f.windowEnd = WallMicros();
  }
};

// The console's window and clicks on the controls of its layout table.
class ConsoleWindow {
 public:
  explicit ConsoleWindow(std::string id) : id_(std::move(id)) {
    std::istringstream geometry(Xdotool("getwindowgeometry --shell " + id_));
    for (std::string line; std::getline(geometry, line);)
      if (line.starts_with("WIDTH=")) width_ = std::atoi(line.c_str() + 6);
    scale_ = width_ > 0 ? static_cast<double>(width_) / kelta::kFormWidth : 1.0;
  }
  // The middle of a control, in the window's pixels (parents' places added up).
  void Click(std::string_view name) const {
    int x = 0, y = 0;
    const kelta::ControlLayout* c = &kelta::LayoutOf(name);
    x = c->left + c->width / 2;
    y = c->top + c->height / 2;
    while (!c->parent.empty()) {
      c = &kelta::LayoutOf(c->parent);
      x += c->left;
      y += c->top;
    }
    Xdotool("mousemove --window " + id_ + " " + std::to_string(std::lround(x * scale_)) + " " +
            std::to_string(std::lround(y * scale_)) + " click 1");
  }
  void Type(std::string_view field, const std::string& text) const {
    Xdotool("windowfocus --sync " + id_);
    Click(field);
    Xdotool("key --clearmodifiers ctrl+a BackSpace");
    Xdotool("type --delay 20 " + kelta::test::ShellQuote(text));
  }

 private:
  std::string id_;
  int width_ = 0;
  double scale_ = 1.0;
};

std::string FindRecording(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.path().extension() == ".csv") return entry.path().string();
  return {};
}

size_t LineCount(const std::string& path) {
  const std::string text = ReadText(path);
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

Figures RunConsole(int rate) {
  Figures f;
  f.program = "console";
  f.rate = rate;
  kelta::test::TempDir run;
  // A copy of the console in a folder of the run's own: its settings and port links are there.
  const std::string exeDir = run.File("bin/");
  fs::create_directories(exeDir);
  const std::string console = exeDir + "KELTA_Dispaly";
  fs::copy_file(gOptions.console, console);
  const std::string documents = run.File("documents");
  fs::create_directories(documents);
  Sensor sensor(run, exeDir, rate);
  Child program(
      {console},
      {{"DISPLAY", gX->Display()}, {"QT_QPA_PLATFORM", "xcb"}, {"XDG_DOCUMENTS_DIR", documents}},
      run.File("console.out"), KELTA_SOURCE_DIR);
  std::string id;
  if (!WaitFor(
          [&] {
            const std::string out = Xdotool("search --onlyvisible --pid " +
                                            std::to_string(program.Pid()) + " --name KELTA");
            id = out.substr(0, out.find('\n'));
            return !id.empty() && std::isdigit(static_cast<unsigned char>(id[0]));
          },
          30s))
    Fail("the console's window did not appear: " + ReadText(run.File("console.out")));
  std::this_thread::sleep_for(500ms);
  ConsoleWindow window(id);
  window.Type("ePortNo", "COM" + std::to_string(sensor.Com()));
  window.Click("Button3");
  if (!sensor.WaitHeard("#INFO", 15s)) Fail("the console did not connect (no #INFO)");
  std::this_thread::sleep_for(1s);  // the information reply taken in, Panel1 shown
  const std::string recordings = documents + "/KELTA";
  window.Click("btRecord");
  if (!WaitFor([&] { return !FindRecording(recordings).empty(); }, 10s))
    Fail("Record did not start a recording in " + recordings);
  const std::string recording = FindRecording(recordings);
  window.Click("btREAD");
  if (!sensor.WaitHeard("#READ", 10s)) Fail("#READ did not reach the sensor");
  CpuWindow cpu;
  cpu.Begin(program.Pid());
  std::this_thread::sleep_for(std::chrono::seconds(gOptions.seconds));
  cpu.End(f);
  const auto clicked = Clock::now();
  window.Click("btStop");
  if (!sensor.WaitHeard("#STOP", 30s)) Fail("#STOP did not reach the sensor");
  f.stopClickMs = std::chrono::duration<double, std::milli>(Clock::now() - clicked).count();
  // What is still in the line and the console taken in and written out: the row count stays
  // the same for over a second (the recording hands its lines to the file every 250 ms).
  size_t rows = 0;
  auto steadySince = Clock::now();
  const auto drainEnd = Clock::now() + 60s;
  while (Clock::now() - steadySince < 1500ms && Clock::now() < drainEnd) {
    std::this_thread::sleep_for(100ms);
    const size_t now = LineCount(recording);
    if (now != rows) {
      rows = now;
      steadySince = Clock::now();
    }
  }
  window.Click("btRecord");
  WaitFor([&] { return LineCount(recording) == rows && fs::exists(recording); }, 2s);
  std::this_thread::sleep_for(500ms);
  program.Stop();
  Pair(sensor.StopAndReadFrames(), ReadConsoleRecording(recording), f);
  return f;
}

Figures RunPeer(int rate) {
  Figures f;
  f.program = "qt peer";
  f.rate = rate;
  kelta::test::TempDir run;
  Sensor sensor(run, run.Path(), rate);
  const std::string csv = run.File("peer.csv");
  Child program(
      {ProgramDir() + "qt_peer_console", sensor.Link(), csv, std::to_string(gOptions.seconds)},
      {{"DISPLAY", gX->Display()}, {"QT_QPA_PLATFORM", "xcb"}}, run.File("peer.out"));
  if (!sensor.WaitHeard("#READ", 30s))
    Fail("the peer did not start reading: " + ReadText(run.File("peer.out")));
  CpuWindow cpu;
  cpu.Begin(program.Pid());
  // Its own timer sends "#STOP" after the same time; the CPU is taken just before it.
  std::this_thread::sleep_for(std::chrono::seconds(gOptions.seconds) - 50ms);
  cpu.End(f);
  if (!program.WaitEnd(90s)) Fail("the peer did not end");
  if (program.ExitStatus() != 0) Fail("the peer failed: " + ReadText(run.File("peer.out")));
  Pair(sensor.StopAndReadFrames(), ReadPeerRecording(csv), f);
  return f;
}

std::vector<Figures> gResults;

void Report(benchmark::State& state, const Figures& f) {
  state.SetIterationTime(gOptions.seconds);
  state.counters["cpu_pct"] = f.cpuPercent;
  state.counters["x_cpu_pct"] = f.xCpuPercent;
  state.counters["lag_p50_ms"] = f.lagP50Ms;
  state.counters["lag_p99_ms"] = f.lagP99Ms;
  state.counters["sent"] = static_cast<double>(f.framesSent);
  state.counters["sent_per_s"] = f.sentPerSecond;
  state.counters["cpu_us_per_frame"] = f.cpuMicrosPerFrame;
  state.counters["rows"] = static_cast<double>(f.rowsRecorded);
  state.counters["bytes_lost"] = static_cast<double>(f.bytesLost);
  if (f.rowsUnmatched > 0) state.counters["rows_unmatched"] = static_cast<double>(f.rowsUnmatched);
  if (f.stopClickMs >= 0) state.counters["stop_click_ms"] = f.stopClickMs;
  gResults.push_back(f);
}

void BM_LiveConsole(benchmark::State& state, int rate) {
  for (auto _ : state) {
    try {
      Report(state, RunConsole(rate));
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
}

void BM_LiveQtPeer(benchmark::State& state, int rate) {
  for (auto _ : state) {
    try {
      Report(state, RunPeer(rate));
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
}

void PrintTable(const std::string& loadAtStart) {
  std::printf("\nload average at start: %s\n", loadAtStart.c_str());
  std::printf("%-8s %6s %7s %8s %8s %8s %10s %10s %7s %7s %6s %10s %8s\n", "program", "rate",
              "sent/s", "cpu %", "us/frame", "X cpu %", "lag p50ms", "lag p99ms", "sent", "rows",
              "lost", "bytes lost", "stop ms");
  for (const Figures& f : gResults) {
    std::printf("%-8s %6d %7.1f %8.2f %8.1f %8.2f %10.1f %10.1f %7llu %7llu %6llu %10llu",
                f.program.c_str(), f.rate, f.sentPerSecond, f.cpuPercent, f.cpuMicrosPerFrame,
                f.xCpuPercent, f.lagP50Ms, f.lagP99Ms,
                static_cast<unsigned long long>(f.framesSent),
                static_cast<unsigned long long>(f.rowsRecorded),
                static_cast<unsigned long long>(f.framesLost),
                static_cast<unsigned long long>(f.bytesLost));
    if (f.stopClickMs >= 0)
      std::printf(" %8.0f", f.stopClickMs);
    else
      std::printf(" %8s", "-");
    std::printf("\n");
  }
  // The console's CPU against the peer's at each rate.
  for (const Figures& c : gResults) {
    if (c.program != "console") continue;
    for (const Figures& p : gResults)
      if (p.program != "console" && p.rate == c.rate && p.cpuPercent > 0)
        std::printf("%d frames/s: console CPU %.2fx the peer's\n", c.rate,
                    c.cpuPercent / p.cpuPercent);
  }
}

std::vector<int> ParseRates(const std::string& text) {
  std::vector<int> rates;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    const int rate = std::atoi(item.c_str());
    if (rate < 1 || rate > 1000) Fail("rates are 1 to 1000 frames/s: " + item);
    rates.push_back(rate);
  }
  if (rates.empty()) Fail("--rates needs at least one rate");
  return rates;
}

// The options left after Google Benchmark took its own.
void ParseOptions(int argc, char** argv) {
  gOptions.console = ProgramDir() + "KELTA_Dispaly";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) Fail("unknown option or missing value: " + option);
    const std::string value = argv[++i];
    if (option == "--rates") {
      gOptions.rates = ParseRates(value);
    } else if (option == "--seconds") {
      gOptions.seconds = std::atoi(value.c_str());
      if (gOptions.seconds < 1 || gOptions.seconds > 3600) Fail("--seconds is 1 to 3600");
    } else if (option == "--console") {
      gOptions.console = fs::absolute(value).string();
    } else {
      Fail("unknown option: " + option);
    }
  }
  if (!fs::exists(gOptions.console)) Fail("no console at " + gOptions.console);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string loadAtStart = LoadAverage();
  benchmark::Initialize(&argc, argv);
  try {
    ParseOptions(argc, argv);
    kelta::test::TempDir serverRun;
    gX.emplace(serverRun.File("xvfb.log"));
    std::printf("X server %s, load average at start %s\n", gX->Display().c_str(),
                loadAtStart.c_str());
    for (const int rate : gOptions.rates) {
      for (const auto& [name, run] : {std::pair{"BM_LiveConsole", &BM_LiveConsole},
                                      std::pair{"BM_LiveQtPeer", &BM_LiveQtPeer}}) {
        benchmark::RegisterBenchmark((std::string(name) + "/" + std::to_string(rate)).c_str(), run,
                                     rate)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
      }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable(loadAtStart);
    gX.reset();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_console_live: %s\n", e.what());
    return 1;
  }
  return 0;
}
