#pragma once
// What the recorder tells the plant about itself beside the readings, each one JSON object on
// one line: its state (whether the device is there and each sensor delivers), retained, and
// its heartbeat at a fixed interval, so a quiet recorder is told from a dead one. Pure
// functions, safe on any thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "apps/recorder/Recorder.h"

namespace kelta::record {

// {"device":"present","sensors":{"1":"streaming","2":"silent"},"since":"2026-12-08T01:02:03.250Z"}
// device: "present" or "lost"; each sensor (by ID) "streaming", "silent" or "device lost";
// since: when the state became this one (UTC).
std::string StateJson(const RecorderState& state, std::chrono::system_clock::time_point since);

struct Heartbeat {
  std::chrono::system_clock::time_point time;
  std::chrono::seconds uptime{0};
  uint64_t readings = 0;
  uint64_t queued = 0;   // readings waiting for the broker
  int everySeconds = 0;  // the next one is due this much later
};
// {"time":"2026-12-08T01:02:03.250Z","uptime":3600,"readings":36000,"queued":0,"every":30}
std::string HeartbeatJson(const Heartbeat& beat);

// PREFIX/NAME/state when the state changed (and at the start), PREFIX/NAME/heartbeat at its
// interval (the first at the start), handed to publish with the topic and whether the broker
// is to retain it. Not thread-safe: the main loop's tick calls it.
class StatusTopics {
 public:
  using SteadyTime = std::chrono::steady_clock::time_point;
  using Publish =
      std::function<void(const std::string& topic, const std::string& payload, bool retained)>;

  // prefix: "PREFIX/NAME/"; the uptime counts from started.
  StatusTopics(std::string prefix, std::chrono::seconds heartbeatEvery, Publish publish,
               SteadyTime started = std::chrono::steady_clock::now());
  void Tick(const RecorderState& state, uint64_t readings, uint64_t queued,
            SteadyTime now = std::chrono::steady_clock::now(),
            std::chrono::system_clock::time_point wallNow = std::chrono::system_clock::now());

 private:
  std::string prefix_;
  std::chrono::seconds every_;
  Publish publish_;
  SteadyTime started_;
  std::optional<RecorderState> state_;
  std::optional<SteadyTime> nextBeat_;
};

}  // namespace kelta::record
