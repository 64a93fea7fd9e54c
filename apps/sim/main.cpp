// kelta-sim: a simulated KELTA angle sensor on a pseudo-terminal.

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/sim/PortLink.h"
#include "apps/sim/SimOptions.h"
#include "apps/sim/SimulatedSensor.h"
#include "base/ConsoleFolders.h"
#include "serial/portmap/PortMap.h"

namespace {

// Shown as the console's own list shows lines: control bytes as <hex>.
std::string Printable(const std::string& line) {
  std::string text;
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", byte);
      text += hex;
    }
  }
  return text;
}

// The folder of the console's port map (ports/): beside the console's executable, or the
// user's data folder for an installed one, as the console decides it.
std::string PortMapFolder(const kelta::sim::SimOptions& options) {
  return kelta::ConsoleFoldersFor(options.exeDir.empty() ? kelta::ExecutableDir() : options.exeDir)
      .files;
}

// The number the console will reach a new ports/ link by; the rule lives in serial/portmap.
int PrintFreeCom(const kelta::sim::SimOptions& options) {
  const std::string exeDir = PortMapFolder(options);
  const long long n = kelta::FirstFreePortNumber(exeDir);
  if (n == 0) {
    std::fprintf(stderr, "kelta-sim: no free COM number between 1 and 255 (see %sports/)\n",
                 exeDir.c_str());
    return 1;
  }
  std::printf("%lld\n", n);
  return 0;
}

int Run(const kelta::sim::SimOptions& options) {
  // Blocked before any thread exists, so every thread inherits the mask and only sigwait
  // below sees them: the link is then removed and the threads joined in order.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  kelta::sim::SensorConfig config = options.config;
  if (options.verbose) {
    config.lineObserver = [](const std::string& line) {
      std::printf("<- %s\n", Printable(line).c_str());
      std::fflush(stdout);
    };
  }
  // Written on the sender thread only, through stdio's buffer: a line costs no system call,
  // and the whole log reaches the file when the sensor has stopped.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> frameLog(nullptr, &std::fclose);
  if (!options.frameLog.empty()) {
    frameLog.reset(std::fopen(options.frameLog.c_str(), "w"));
    if (!frameLog) {
      std::perror(("kelta-sim: " + options.frameLog).c_str());
      return 1;
    }
    config.frameObserver = [file = frameLog.get()](uint64_t frame, const std::string& angle) {
      const auto now = std::chrono::system_clock::now().time_since_epoch();
      const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
      std::fprintf(file, "%llu,%lld,%s\n", static_cast<unsigned long long>(frame), micros,
                   angle.c_str());
    };
  }
  kelta::sim::SimulatedSensor sensor(std::move(config));
  sensor.Start();
  std::string ids = " " + std::to_string(options.config.settings.id);
  if (!options.config.busIds.empty()) {
    ids = "s";
    for (const int id : options.config.busIds)
      ids += (ids.size() > 1 ? "," : " ") + std::to_string(id);
  }
  std::printf("kelta-sim: sensor ID%s on %s\n", ids.c_str(), sensor.SlavePath().c_str());
  std::unique_ptr<kelta::sim::PortLink> link;
  if (options.com) {
    const std::string exeDir = PortMapFolder(options);
    link = std::make_unique<kelta::sim::PortLink>(exeDir, *options.com, sensor.SlavePath(),
                                                  options.force);
    std::printf("kelta-sim: COM%d (%s)\n", *options.com, link->Path().c_str());
  }
  std::fflush(stdout);

  int signal = 0;
  // SIGUSR1 switches the sensor's power off and on again behind the open line.
  bool powered = true;
  while (sigwait(&signals, &signal) == 0 && signal == SIGUSR1) {
    powered = !powered;
    sensor.SetPowered(powered);
    std::printf("kelta-sim: power %s\n", powered ? "on (streams once asked)" : "off");
    std::fflush(stdout);
  }
  std::printf("kelta-sim: stopping (signal %d)\n", signal);
  link.reset();
  sensor.Stop();
  if (frameLog && std::fflush(frameLog.get()) != 0) {
    std::perror(("kelta-sim: " + options.frameLog).c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  kelta::sim::SimOptions options;
  try {
    options = kelta::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelta-sim: %s\n", e.what());
    return 2;
  }
  if (options.help) {
    std::fputs(kelta::sim::SimUsage().c_str(), stdout);
    return 0;
  }
  try {
    return options.freeCom ? PrintFreeCom(options) : Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelta-sim: %s\n", e.what());
    return 1;
  }
}
