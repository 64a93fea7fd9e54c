// Under Wine the sensor is a Linux kelta-sim run by tools/wine-console-form.sh, which reads the
// test's requests from a folder shared with it (KELTA_WINE_SIGNALS, a Windows path; the COM
// number it links is KELTA_WINE_COM):
//   start-<k>    kelta-sim's options, one a line: the script stops the sensor running, starts
//                this one with --verbose (its output in sim-<k>.log), points
//                dosdevices/com<N> at its pseudo-terminal and answers started-<k>
//                (failed-<k> when it cannot)
//   stop-<k>     the sensor stopped (its terminal hangs up, the link dangles); answers
//                stopped-<k>
// One sensor runs at a time: starting one stops the one before.
// The log names each command line received ("<- #INFO", control bytes as <hex>); the bytes
// received are those lines, each with the CR LF the console ends its commands with.
#include "tests/console/form/TestSensor.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace kelta::test {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

fs::path SignalFolder() {
  const std::string folder = Env("KELTA_WINE_SIGNALS");
  if (folder.empty()) {
    throw std::runtime_error("no sensor to talk to: run through tools/wine-console-form.sh");
  }
  return fs::path(folder);
}

// Waits for the script's answer; true for `yes`, false for `no`; throws after a long while.
bool WaitForAnswer(const fs::path& yes, const fs::path& no) {
  for (int i = 0; i < 1000; ++i) {
    if (fs::exists(yes)) return true;
    if (!no.empty() && fs::exists(no)) return false;
    std::this_thread::sleep_for(20ms);
  }
  throw std::runtime_error("no answer from tools/wine-console-form.sh for " + yes.string());
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "<- #INFO<0D>" back into its bytes, with the line's CR LF.
std::string LineBytes(const std::string& shown) {
  std::string bytes;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == '<' && i + 3 < shown.size() && shown[i + 3] == '>' &&
        HexDigit(shown[i + 1]) >= 0 && HexDigit(shown[i + 2]) >= 0) {
      bytes += static_cast<char>(HexDigit(shown[i + 1]) * 16 + HexDigit(shown[i + 2]));
      i += 3;
    } else {
      bytes += shown[i];
    }
  }
  return bytes + "\r\n";
}

std::vector<std::string> Options(const sim::SensorConfig& c) {
  const sim::SensorSettings& s = c.settings;
  std::vector<std::string> options = {"--id",        std::to_string(s.id),
                                      "--version",   s.version,
                                      "--mode",      s.mode,
                                      "--cal",       s.calibrationState,
                                      "--zero",      s.zeroOffset,
                                      "--nrange",    std::to_string(s.negativeRange),
                                      "--prange",    std::to_string(s.positiveRange),
                                      "--gain",      s.mvGain,
                                      "--mv-offset", s.mvOffset,
                                      "--rate",      std::to_string(c.framesPerSecond)};
  static const char kNames[] = "0123456789AB";
  for (size_t k = 0; k < s.coefficients.size(); ++k) {
    options.push_back("--coef");
    options.push_back(std::string(1, kNames[k]) + "=" + s.coefficients[k]);
  }
  if (c.fixedAngle) {
    options.push_back("--angle");
    options.push_back(std::to_string(*c.fixedAngle));
  }
  if (c.silent) options.push_back("--silent");
  return options;
}

}  // namespace

struct TestSensor::Impl {
  fs::path folder;
  int number = 0;
  sim::SensorSettings settings;
  bool stopped = false;
  size_t cleared = 0;  // bytes of the log's lines before ClearReceived

  fs::path File(const std::string& name) const {
    return folder / (name + "-" + std::to_string(number));
  }
  std::string LoggedBytes() const {
    std::ifstream log(File("sim").string() + ".log", std::ios::binary);
    std::string bytes, line;
    while (std::getline(log, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("<- ", 0) == 0) bytes += LineBytes(line.substr(3));
    }
    return bytes;
  }
  // The log once it stops growing: a reply may leave before its command is logged.
  std::string SettledBytes() const {
    std::string bytes = LoggedBytes();
    for (int i = 0; i < 50; ++i) {
      std::this_thread::sleep_for(40ms);
      std::string again = LoggedBytes();
      if (again == bytes) break;
      bytes = std::move(again);
    }
    return bytes;
  }
  void Stop() {
    if (stopped) return;
    stopped = true;
    std::ofstream(File("stop")).close();
    WaitForAnswer(File("stopped"), {});
  }
};

int TestSensor::ComNumber(int) {
  const std::string com = Env("KELTA_WINE_COM");
  if (com.empty())
    throw std::runtime_error("no COM port linked: run through tools/wine-console-form.sh");
  return std::stoi(com);
}

TestSensor::TestSensor(sim::SensorConfig config, const std::string&, int)
    : impl_(std::make_unique<Impl>()) {
  static int lastNumber = 0;
  impl_->folder = SignalFolder();
  impl_->number = ++lastNumber;
  impl_->settings = config.settings;
  // Written whole under another name, then renamed: the script never sees half a request.
  const fs::path part = impl_->File("start").string() + ".part";
  {
    std::ofstream request(part, std::ios::binary);
    for (const std::string& option : Options(config)) request << option << '\n';
  }
  fs::rename(part, impl_->File("start"));
  if (!WaitForAnswer(impl_->File("started"), impl_->File("failed"))) {
    impl_->stopped = true;
    throw std::runtime_error("the simulator did not start (see sim-" +
                             std::to_string(impl_->number) + ".log)");
  }
}

TestSensor::~TestSensor() {
  try {
    impl_->Stop();
  } catch (const std::exception&) {
    // The script is gone; nothing is left to stop.
  }
}

void TestSensor::Unplug() { impl_->Stop(); }

void TestSensor::Stop() { impl_->Stop(); }

// The script moves the link when it starts the next sensor.
void TestSensor::Unlink() {}

std::string TestSensor::ReceivedBytes() const {
  return impl_->SettledBytes().substr(impl_->cleared);
}

void TestSensor::ClearReceived() { impl_->cleared = impl_->SettledBytes().size(); }

bool TestSensor::WaitForReceived(const std::string& needle,
                                 std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (impl_->LoggedBytes().substr(impl_->cleared).find(needle) != std::string::npos) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
}

bool TestSensor::Streaming() const {
  const std::string bytes = impl_->SettledBytes();
  const size_t read = bytes.rfind("#READ\r\n");
  const size_t stop = bytes.rfind("#STOP\r\n");
  return read != std::string::npos && (stop == std::string::npos || stop < read);
}

sim::SensorSettings TestSensor::Settings() const { return impl_->settings; }

}  // namespace kelta::test
