// kelta-record: records a KELTA angle sensor, or a bus of them, without a window.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "apps/recorder/CsvRecording.h"
#include "apps/recorder/ReadingJson.h"
#include "apps/recorder/RecordOptions.h"
#include "apps/recorder/RecordSystem.h"
#include "apps/recorder/Recorder.h"
#include "apps/recorder/RecorderStatus.h"
#include "apps/recorder/SecretFile.h"
#include "apps/recorder/ServiceNotify.h"
#include "base/Errors.h"
#include "records/ReadingCsv.h"
#if KELTA_RECORD_MQTT
#include "apps/recorder/MqttPublisher.h"
#include "apps/recorder/ReadingIdentity.h"
#endif
#if KELTA_RECORD_SPARKPLUG
#include "apps/recorder/sparkplug/SparkplugShape.h"
#endif
#include "serial/VaCommError.h"

namespace {

using namespace kelta::record;

std::atomic<bool> stopRequested{false};

// From the stop request to the end: the serial side's end, the flush to the broker (2 s at
// most), its "offline" (1 s) and the disconnect (0.5 s) fit in it.
constexpr std::chrono::milliseconds kStopLimit{4500};

void Log(const std::string& line) {
  std::fprintf(stderr, "kelta-record: %s\n", line.c_str());
  std::fflush(stderr);
}

// The end is bounded from the stop request, whatever the sensor's line, the network or a
// disk does: the queue is on disk already, and a service manager would kill the program soon
// anyway, without the line saying why. From construction to destruction a thread of its own
// looks at the request every 100 ms (it comes from the signal's thread) and then ends the
// process kStopLimit after it, unless the destructor came first.
class StopLimit {
 public:
  StopLimit() : thread_([this] { Watch(); }) {}
  ~StopLimit() {
    {
      std::lock_guard lock(lock_);
      ended_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  StopLimit(const StopLimit&) = delete;
  StopLimit& operator=(const StopLimit&) = delete;

 private:
  void Watch() {
    std::unique_lock lock(lock_);
    while (!ended_ && !stopRequested) wake_.wait_for(lock, std::chrono::milliseconds(100));
    if (!wake_.wait_for(lock, kStopLimit, [this] { return ended_; })) {
      Log("stopping took longer than " + std::to_string(kStopLimit.count()) +
          " ms; ending now (readings not acknowledged stay queued on disk)");
      std::_Exit(kExitSoftware);
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;
  bool ended_ = false;
  std::thread thread_;  // last: it uses the others
};

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CountersJson(const RecorderCounters& c, uint64_t dropped, uint64_t queued) {
  std::string json =
      "{\"readings\":" + std::to_string(c.readings) + ",\"dropped\":" + std::to_string(dropped) +
      ",\"queued\":" + std::to_string(queued) + ",\"lost\":" + std::to_string(c.lost) +
      ",\"refused\":" + std::to_string(c.refused) +
      ",\"unsolicited\":" + std::to_string(c.unsolicited) +
      ",\"dropped_frames\":" + std::to_string(c.droppedFrames) +
      ",\"fell_silent\":" + std::to_string(c.fellSilent) + ",\"silent\":{";
  bool first = true;
  for (const auto& [id, count] : c.silent) {
    json += (first ? "\"" : ",\"") + std::to_string(id) + "\":" + std::to_string(count);
    first = false;
  }
  return json + "}}";
}

#if KELTA_RECORD_MQTT
// The TLS options and the credentials into settings; the password from its file, else from the
// environment. Throws std::invalid_argument when the password file will not do.
void SetBrokerSecurity(const RecordOptions& options, MqttSettings& settings) {
  settings.tls.enabled = options.tls;
  settings.tls.caFile = options.caFile;
  settings.tls.caPath = options.caPath;
  settings.tls.certFile = options.certFile;
  settings.tls.keyFile = options.keyFile;
  settings.tls.insecure = options.tlsInsecure;
  settings.username = options.username;
  if (!options.passwordFile.empty()) {
    settings.password = ReadSecretFile(options.passwordFile);
  } else if (const char* password = std::getenv("KELTA_MQTT_PASSWORD");
             password != nullptr && *password != '\0' && !options.username.empty()) {
    settings.password = password;
  }
  if (options.tlsInsecure) {
    Log("WARNING: --tls-insecure: the broker's certificate is NOT checked. Anyone between here "
        "and the broker can pose as it and read and change everything sent, the password "
        "included. Give the broker's CA with --cafile instead");
  }
}
#endif

#if KELTA_RECORD_SPARKPLUG
uint64_t NowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

kelta::sparkplug::QueuedReading QueuedReadingOf(const SensorReading& r) {
  kelta::sparkplug::QueuedReading q;
  q.ms = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(r.time.time_since_epoch()).count());
  q.port = r.port;
  q.id = r.id;
  q.angle = r.angle;
  q.line = r.line;
  q.version = r.version;
  q.mode = r.mode;
  q.negativeRange = r.negativeRange;
  q.positiveRange = r.positiveRange;
  return q;
}

// The edge node's part of the main loop's tick: its metrics kept current, its data at the
// heartbeat's interval, and a sensor's death queued (behind its readings) when it stops
// delivering.
class EdgeNodeTicks {
 public:
  explicit EdgeNodeTicks(std::chrono::seconds every) : every_(every) {}
  void Tick(const Recorder& recorder, const RecorderState& state,
            kelta::sparkplug::SparkplugShape& shape, MqttPublisher& publisher) {
    const auto now = std::chrono::steady_clock::now();
    kelta::sparkplug::NodeMetrics metrics;
    metrics.version = KELTA_VERSION_TEXT;
    metrics.uptimeSeconds = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(now - started_).count());
    metrics.queueDepth = publisher.Queued();
    metrics.readings = recorder.Counters().readings;
    metrics.dropped = publisher.Dropped();
    shape.SetNodeMetrics(metrics);
    if (now >= nextData_) {
      if (nextData_ != std::chrono::steady_clock::time_point{}) {
        publisher.Publish(kelta::sparkplug::SparkplugShape::NodeDataTopic(), {});
      }
      nextData_ = now + every_;
    }
    for (const auto& [id, sensorState] : state.sensors) {
      const bool delivering = sensorState == SensorState::kStreaming;
      const auto was = delivering_.find(id);
      if (was != delivering_.end() && was->second && !delivering) {
        kelta::sparkplug::QueuedReading gone;
        gone.port = recorder.PortName();
        gone.id = id;
        publisher.Publish(kelta::sparkplug::SparkplugShape::GoneTopic(),
                          kelta::sparkplug::PackReading(gone));
      }
      delivering_[id] = delivering;
    }
  }

 private:
  std::chrono::seconds every_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point nextData_{};
  std::map<int, bool> delivering_;
};
#endif

int Run(const RecordOptions& options) {
  StopRequests stopRequests(stopRequested);
#if !KELTA_RECORD_MQTT
  if (!options.mqttHost.empty()) {
    Log("--mqtt: this kelta-record is built without MQTT (CSV and --stdout only)");
    return kExitUsage;
  }
#endif

  const std::string name =
      options.name.empty() ? HostName() + "-" + BaseName(options.port) : options.name;

  CsvRecording csv([](const std::string& path) { Log("recording to " + path); });
  if (IsFolder(options.csvPath)) {
    csv.UseFolder(options.csvPath, BaseName(options.port), options.csvMaxBytes);
  } else if (options.csvMaxBytes > 0) {
    Log("--csv-max-mb: " + options.csvPath + " is no folder (a file named on the command " +
        "line is never split)");
    return kExitUsage;
  } else if (!options.csvPath.empty()) {
    try {
      csv.OpenFile(options.csvPath);
    } catch (const std::exception& e) {
      Log(e.what());
      return kExitCantCreate;
    }
  }

#if KELTA_RECORD_MQTT
  std::unique_ptr<MqttPublisher> mqtt;  // the JSON topics
  // After the publisher, whose folder lock keeps other recorders out of its files.
  std::unique_ptr<ReadingIdentity> identity;
#endif
#if KELTA_RECORD_SPARKPLUG
  std::shared_ptr<kelta::sparkplug::SparkplugShape> sparkplug;
  std::unique_ptr<MqttPublisher> sparkplugMqtt;  // the edge node's connection
#endif
#if KELTA_RECORD_MQTT
#else
  // Without MQTT a null stands for the publisher everywhere below.
  struct NoMqtt {
    void Publish(const std::string&, const std::string&) {}
    void SetCounters(const std::string&) {}
    void SetLatest(const std::string&, const std::string&, bool) {}
    uint64_t Dropped() const { return 0; }
    uint64_t Queued() const { return 0; }
    bool Connected() const { return false; }
    std::string Refusal() const { return {}; }
    bool Flush(std::chrono::milliseconds) { return true; }
    void Stop() {}
  };
  std::unique_ptr<NoMqtt> mqtt;
#endif
  const std::string prefix = options.topic + "/" + name + "/";
#if KELTA_RECORD_MQTT
  if (!options.mqttHost.empty()) {
    MqttSettings settings;
    settings.host = options.mqttHost;
    settings.port = options.mqttPort;
    // Unique per recorder even when two share a name by mistake: the broker would throw one
    // out whenever the other connects.
    settings.clientId = "kelta-record-" + name + "-" + BaseName(options.port);
    settings.statusTopic = prefix + "status";
    settings.countersTopic = prefix + "counters";
    settings.queueMax = options.queueMax;
    settings.keepAliveSeconds = options.keepAliveSeconds;
    settings.queueFolder = options.queueFolder;
    settings.topicPrefix = prefix;
    try {
      SetBrokerSecurity(options, settings);
    } catch (const std::invalid_argument& e) {
      Log(std::string("--password-file ") + e.what());
      return kExitUsage;
    }
#if !KELTA_RECORD_SPARKPLUG
    if (!options.sparkplugGroup.empty()) {
      Log("--sparkplug: this kelta-record is built without Sparkplug B");
      return kExitUsage;
    }
#endif
    const bool json = options.sparkplugGroup.empty() || options.json;
    try {
      if (settings.queueFolder.empty()) settings.queueFolder = DefaultStateFolder(name);
      if (json) mqtt = std::make_unique<MqttPublisher>(settings, Log);
#if KELTA_RECORD_SPARKPLUG
      if (!options.sparkplugGroup.empty()) {
        // Beside the JSON topics, a queue (and a lock) of its own in the state folder.
        MqttSettings edge = settings;
        edge.clientId += "-sparkplug";
        edge.queueFolder = json ? settings.queueFolder + "/sparkplug" : settings.queueFolder;
        edge.topicPrefix = kelta::sparkplug::SparkplugShape::TopicPrefix();
        sparkplugMqtt = std::make_unique<MqttPublisher>(edge, Log);
        sparkplug = std::make_shared<kelta::sparkplug::SparkplugShape>(
            kelta::sparkplug::EdgeNode(options.sparkplugGroup, name), edge.queueFolder, NowMs, Log);
        sparkplug->SetNodeMetrics({KELTA_VERSION_TEXT, 0, 0, 0, 0});
        sparkplugMqtt->SetShape(sparkplug);
      }
#endif
      identity = std::make_unique<ReadingIdentity>(settings.queueFolder, Log);
    } catch (const UnsafeState& e) {
      Log(e.what());
      return kExitCantCreate;
    } catch (const FolderInUse& e) {
      Log("the queue folder " + std::string(e.what()) +
          ": is another kelta-record running with the same --name? Give each its own --name "
          "(or --queue-dir)");
      return kExitCantCreate;
    } catch (const std::system_error& e) {
      Log(std::string("the queue folder: ") + e.what());
      return kExitCantCreate;
    } catch (const std::invalid_argument& e) {
      Log(e.what());  // a TLS file
      return kExitUsage;
    }
    Log("recorder " + identity->RecorderId() +
        " (with the sensor ID and \"seq\", it names each "
        "reading for good)");
    if (mqtt) mqtt->Start();
#if KELTA_RECORD_SPARKPLUG
    if (sparkplugMqtt) {
      Log("Sparkplug B edge node " + options.sparkplugGroup + "/" + name);
      sparkplugMqtt->Start();
    }
#endif
  }
#endif

  int exitCode = kExitOk;
  const auto reading = [&](const SensorReading& r) {
    if (exitCode != kExitOk) return;
    if (csv.Active()) {
      kelta::Reading row;
      row.time = r.time;
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
#if KELTA_RECORD_SPARKPLUG
    if (sparkplugMqtt) {
      sparkplugMqtt->Publish(kelta::sparkplug::SparkplugShape::ReadingTopic(),
                             kelta::sparkplug::PackReading(QueuedReadingOf(r)));
    }
#endif
  };

  RecorderConfig config;
  config.port = options.port;
  config.exeDir = options.exeDir;
  config.ids = options.ids;
  config.intervalMs = options.intervalMs;
  config.replyMs = options.replyMs;
#if KELTA_RECORD_MQTT
  if (identity) {
    config.nextSequence = [&identity](int id) { return identity->Next(id); };
    config.recorderId = identity->RecorderId();
  }
#endif
  Recorder recorder(config, reading, Log);
  try {
    recorder.Open();
  } catch (const kelta::EVaCommError& e) {
    // The port's own message for a held port is only the system's "Resource temporarily
    // unavailable"; say who is in the way.
    const std::string device = recorder.DevicePath();
    if (!device.empty() && PortHeldElsewhere(device)) {
      const std::string behind = DeviceBehind(device);
      Log(options.port + " is in use by another program" +
          (behind != options.port ? " (" + behind + ")" : std::string()));
    } else {
      Log(e.what());
    }
    return kExitUnavailable;
  } catch (const std::system_error& e) {
    Log(e.what());
    return kExitUnavailable;
  } catch (const std::invalid_argument& e) {
    Log(e.what());
    return kExitUsage;
  }
  Log("recording " + options.port +
      (options.ids.empty() ? std::string(" (continuous)")
                           : " (bus, " + std::to_string(options.ids.size()) + " IDs)"));
  if (const std::string notice = IntervalNotice(options); !notice.empty()) Log(notice);
  ServiceNotify service;
  service.Ready("recording " + options.port);
  StatusTopics status(prefix, std::chrono::seconds(options.heartbeatSeconds),
                      [&mqtt](const std::string& topic, const std::string& json, bool retained) {
                        mqtt->SetLatest(topic, json, retained);
                      });

#if KELTA_RECORD_SPARKPLUG
  EdgeNodeTicks edgeTicks(std::chrono::seconds(options.heartbeatSeconds));
#endif
  const auto tick = [&] {
    // From the main loop itself: a recorder stuck anywhere misses it and is restarted.
    service.Alive();
    const RecorderState state = recorder.State();
#if KELTA_RECORD_SPARKPLUG
    if (sparkplugMqtt) {
      edgeTicks.Tick(recorder, state, *sparkplug, *sparkplugMqtt);
      if (exitCode == kExitOk && !sparkplugMqtt->Refusal().empty()) {
        Log("ending: the MQTT broker refused the recorder (" + sparkplugMqtt->Refusal() + ")");
        exitCode = kExitNoPermission;
        stopRequested = true;
      }
    }
#endif
    if (csv.Active() && exitCode == kExitOk) {
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
      status.Tick(state, recorder.Counters().readings, mqtt->Queued());
      // Asking again will not help: the unit does not restart on this status.
      if (exitCode == kExitOk && !mqtt->Refusal().empty()) {
        Log("ending: the MQTT broker refused the recorder (" + mqtt->Refusal() + ")");
        exitCode = kExitNoPermission;
        stopRequested = true;
      }
    }
  };
  StopLimit stopLimit;
  recorder.Run([] { return stopRequested.load(); }, tick);
  service.Stopping();
#if KELTA_RECORD_MQTT
  if (identity) identity->Finish();
#endif

  // Everything recorded leaves before the end: the file is synced, the broker acknowledges.
  if (csv.Active()) {
    try {
      csv.Close();
    } catch (const std::exception& e) {
      Log(e.what());
      exitCode = kExitIoError;
    }
  }
  if (mqtt) {
    // The readings first, then the final counters (what was dropped, what still waits).
    if (mqtt->Connected() && mqtt->Flush(std::chrono::milliseconds(1500))) {
      mqtt->SetCounters(CountersJson(recorder.Counters(), mqtt->Dropped(), mqtt->Queued()));
    }
    if (mqtt->Connected() && !mqtt->Flush(std::chrono::milliseconds(500))) {
      Log(std::to_string(mqtt->Queued()) + " readings not acknowledged; kept on disk");
    } else if (!mqtt->Connected() && mqtt->Queued() > 0) {
      Log(std::to_string(mqtt->Queued()) + " readings wait on disk for the broker");
    }
    mqtt->Stop();
  }
#if KELTA_RECORD_SPARKPLUG
  if (sparkplugMqtt) {
    if (sparkplugMqtt->Connected() && !sparkplugMqtt->Flush(std::chrono::milliseconds(1000))) {
      Log(std::to_string(sparkplugMqtt->Queued()) + " Sparkplug readings not sent; kept on disk");
    } else if (!sparkplugMqtt->Connected() && sparkplugMqtt->Queued() > 0) {
      Log(std::to_string(sparkplugMqtt->Queued()) + " Sparkplug readings wait on disk");
    }
    // Says the node's death itself: the broker does not send the will after a disconnect.
    sparkplugMqtt->Stop();
  }
#endif
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
