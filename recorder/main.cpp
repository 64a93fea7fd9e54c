// kelta-record: records a KELTA angle sensor, or a bus of them, without a window.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "console/core/ConsoleErrors.h"
#include "console/core/ReadingCsv.h"
#include "recorder/MqttPublisher.h"
#include "recorder/ReadingJson.h"
#include "recorder/RecordOptions.h"
#include "recorder/Recorder.h"
#include "serial/VaCommError.h"

namespace {

using namespace kelta::record;

std::atomic<bool> stopRequested{false};

void Log(const std::string& line) {
  std::fprintf(stderr, "kelta-record: %s\n", line.c_str());
  std::fflush(stderr);
}

// A thread of its own waits for the ending signals; every other thread has them blocked.
class SignalWaiter {
 public:
  SignalWaiter() {
    sigemptyset(&set_);
    for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&set_, s);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    // A broker or a reader going away must not end the program through a write.
    signal(SIGPIPE, SIG_IGN);
    thread_ = std::thread([this] {
      int signal = 0;
      sigwait(&set_, &signal);
      if (signal != SIGUSR1) stopRequested = true;
    });
  }
  ~SignalWaiter() {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }

 private:
  sigset_t set_;
  std::thread thread_;
};

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "kelta";
  return name;
}

std::string CsvPath(const std::string& given, const std::string& port) {
  struct stat info {};
  if (stat(given.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return given;
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
  const std::string folder = given.back() == '/' ? given : given + '/';
  return folder + "kelta-" + BaseName(port) + "-" + stamp + ".csv";
}

std::string CountersJson(const RecorderCounters& c, uint64_t dropped, uint64_t queued) {
  std::string json =
      "{\"readings\":" + std::to_string(c.readings) + ",\"dropped\":" + std::to_string(dropped) +
      ",\"queued\":" + std::to_string(queued) + ",\"lost\":" + std::to_string(c.lost) +
      ",\"refused\":" + std::to_string(c.refused) + ",\"silent\":{";
  bool first = true;
  for (const auto& [id, count] : c.silent) {
    json += (first ? "\"" : ",\"") + std::to_string(id) + "\":" + std::to_string(count);
    first = false;
  }
  return json + "}}";
}

int Run(const RecordOptions& options) {
  SignalWaiter signals;

  const std::string name =
      options.name.empty() ? HostName() + "-" + BaseName(options.port) : options.name;

  kelta::ReadingCsvWriter csv;
  if (!options.csvPath.empty()) {
    try {
      csv.Open(CsvPath(options.csvPath, options.port));
    } catch (const std::exception& e) {
      Log(e.what());
      return kExitCantCreate;
    }
    Log("recording to " + csv.Path());
  }

  std::unique_ptr<MqttPublisher> mqtt;
  const std::string prefix = options.topic + "/" + name + "/";
  if (!options.mqttHost.empty()) {
    MqttSettings settings;
    settings.host = options.mqttHost;
    settings.port = options.mqttPort;
    settings.clientId = "kelta-record-" + name;
    settings.statusTopic = prefix + "status";
    settings.countersTopic = prefix + "counters";
    settings.queueMax = options.queueMax;
    settings.queueFolder = options.queueFolder;
    if (settings.queueFolder.empty()) {
      const char* state = std::getenv("STATE_DIRECTORY");
      settings.queueFolder = state && *state ? std::string(state) : "/var/tmp/kelta-record-" + name;
    }
    try {
      mqtt = std::make_unique<MqttPublisher>(settings, Log);
    } catch (const std::system_error& e) {
      Log(std::string("the queue folder: ") + e.what());
      return kExitCantCreate;
    }
    mqtt->Start();
  }

  int exitCode = kExitOk;
  const auto reading = [&](const SensorReading& r) {
    if (exitCode != kExitOk) return;
    if (csv.IsOpen()) {
      kelta::Reading row;
      row.time = r.time;
      row.seconds = csv.SecondsSinceOpen();
      row.angle = r.angle;
      row.line = r.line;
      row.port = r.port;
      row.sensorId = std::to_string(r.id);
      try {
        csv.Write(row);
      } catch (const std::exception& e) {
        Log(e.what());
        exitCode = kExitIoError;
        stopRequested = true;
      }
    }
    const std::string json = ReadingJson(r);
    if (options.stdoutJson) {
      std::fwrite(json.data(), 1, json.size(), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    }
    if (mqtt) mqtt->Publish(prefix + "reading/" + std::to_string(r.id), json);
  };

  RecorderConfig config;
  config.port = options.port;
  config.exeDir = options.exeDir;
  config.ids = options.ids;
  config.intervalMs = options.intervalMs;
  config.replyMs = options.replyMs;
  Recorder recorder(config, reading, Log);
  try {
    recorder.Open();
  } catch (const kelta::EVaCommError& e) {
    Log(e.what());
    return kExitUnavailable;
  } catch (const std::system_error& e) {
    Log(e.what());
    return kExitUnavailable;
  }
  Log("recording " + options.port +
      (options.ids.empty() ? std::string(" (continuous)")
                           : " (bus, " + std::to_string(options.ids.size()) + " IDs)"));

  const auto tick = [&] {
    if (csv.IsOpen() && exitCode == kExitOk) {
      try {
        csv.Flush();
      } catch (const std::exception& e) {
        Log(e.what());
        exitCode = kExitIoError;
        stopRequested = true;
      }
    }
    if (mqtt) {
      mqtt->SetCounters(CountersJson(recorder.Counters(), mqtt->Dropped(), mqtt->Queued()));
    }
  };
  recorder.Run([] { return stopRequested.load(); }, tick);

  // Everything recorded leaves before the end: the file is synced, the broker acknowledges.
  if (csv.IsOpen()) {
    try {
      csv.Close();
    } catch (const std::exception& e) {
      Log(e.what());
      exitCode = kExitIoError;
    }
  }
  if (mqtt) {
    if (mqtt->Connected() && !mqtt->Flush(std::chrono::seconds(5))) {
      Log(std::to_string(mqtt->Queued()) + " readings not acknowledged; kept on disk");
    } else if (!mqtt->Connected() && mqtt->Queued() > 0) {
      Log(std::to_string(mqtt->Queued()) + " readings wait on disk for the broker");
    }
    mqtt->Stop();
  }
  std::fflush(stdout);
  Log("stopped");
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  RecordOptions options;
  try {
    options = ParseRecordOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelta-record: %s (see --help)\n", e.what());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(RecordUsage().c_str(), stdout);
    return kExitOk;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    Log(e.what());
    return kExitSoftware;
  }
}
