#include "apps/recorder/RecorderStatus.h"

#include "apps/recorder/ReadingJson.h"

namespace kelta::record {

std::string StateJson(const RecorderState& state, std::chrono::system_clock::time_point since) {
  std::string json =
      std::string("{\"device\":\"") + (state.deviceLost ? "lost" : "present") + "\",\"sensors\":{";
  bool first = true;
  for (const auto& [id, sensor] : state.sensors) {
    json += (first ? "\"" : ",\"") + std::to_string(id) + "\":\"" + SensorStateName(sensor) + "\"";
    first = false;
  }
  return json + "},\"since\":\"" + IsoUtcTime(since) + "\"}";
}

std::string HeartbeatJson(const Heartbeat& beat) {
  return "{\"time\":\"" + IsoUtcTime(beat.time) +
         "\",\"uptime\":" + std::to_string(beat.uptime.count()) +
         ",\"readings\":" + std::to_string(beat.readings) +
         ",\"queued\":" + std::to_string(beat.queued) +
         ",\"every\":" + std::to_string(beat.everySeconds) + "}";
}

StatusTopics::StatusTopics(std::string prefix, std::chrono::seconds heartbeatEvery, Publish publish,
                           SteadyTime started)
    : prefix_(std::move(prefix)),
      every_(heartbeatEvery),
      publish_(std::move(publish)),
      started_(started) {}

void StatusTopics::Tick(const RecorderState& state, uint64_t readings, uint64_t queued,
                        SteadyTime now, std::chrono::system_clock::time_point wallNow) {
  if (!state_ || *state_ != state) {
    state_ = state;
    publish_(prefix_ + "state", StateJson(state, wallNow), true);
  }
  if (nextBeat_ && now < *nextBeat_) return;
  // On a fixed beat from the start, whenever the tick comes: a late tick does not shift the
  // ones after it, and a tick far behind (a suspended machine) starts the beat anew.
  nextBeat_ = nextBeat_ ? *nextBeat_ + every_ : now + every_;
  if (*nextBeat_ <= now) nextBeat_ = now + every_;
  Heartbeat beat;
  beat.time = wallNow;
  beat.uptime = std::chrono::duration_cast<std::chrono::seconds>(now - started_);
  beat.readings = readings;
  beat.queued = queued;
  beat.everySeconds = static_cast<int>(every_.count());
  publish_(prefix_ + "heartbeat", HeartbeatJson(beat), false);
}

}  // namespace kelta::record
