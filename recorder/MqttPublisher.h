#pragma once
// Readings to an MQTT broker with libmosquitto, at least once and in order. Every message
// goes first into a DiskQueue and leaves it only when the broker acknowledged it (QoS 1). A
// sender thread hands the queue's messages, oldest first, to the library while the broker is
// connected and fewer than kWindow wait for their acknowledgement; after a reconnect it starts
// again at the oldest unacknowledged one (the library does not send again what a lost
// connection swallowed). While the broker is away the queue grows on disk to its bound, then
// drops its oldest message not with the library (counted: Dropped()).
//
// The recorder's status topic is retained: "online" once connected, "offline" on Stop and, as
// the last will, when the broker loses the recorder. A counters message (JSON the owner
// gives) is kept retained too, sent whenever it changed and the broker is there.
//
// Threads: the owner's thread (Publish, SetCounters, Flush, Stop), the sender thread and the
// library's network thread (callbacks). lock_ guards the queue and every state field below
// it; libmosquitto calls are made with it held only on the sender thread, never from a
// callback (the library holds its callback lock around those, and takes no lock of ours
// before its own). report runs on any of the threads, outside lock_.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "recorder/DiskQueue.h"

struct mosquitto;

namespace kelta::record {

struct MqttSettings {
  std::string host;
  int port = 1883;
  std::string clientId;       // also the name in the status topic
  std::string statusTopic;    // retained "online" / "offline"
  std::string countersTopic;  // retained counters JSON
  std::string queueFolder;
  uint64_t queueMax = 100000;
  int keepAliveSeconds = 10;
};

class MqttPublisher {
 public:
  static constexpr int kWindow = 64;

  // Opens the queue (std::system_error when it cannot). report gets one line per change of
  // the broker's state ("broker ... connected", "... unreachable, retrying").
  MqttPublisher(MqttSettings settings, std::function<void(const std::string&)> report);
  ~MqttPublisher();  // Stop()
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Starts connecting (in the background; an unreachable broker is retried for ever).
  void Start();
  // Queues one message for the broker. Throws std::system_error when the queue's disk fails.
  void Publish(const std::string& topic, const std::string& payload);
  void SetCounters(const std::string& json);
  // Waits until every queued message was acknowledged (true) or the time passed (false).
  bool Flush(std::chrono::milliseconds timeout);
  // Sends "offline" when connected, disconnects and ends the threads. What is still queued
  // stays on disk for the next run. Idempotent.
  void Stop();

  bool Connected() const;
  uint64_t Dropped() const;
  uint64_t Queued() const;  // on disk, not yet acknowledged by the broker
  uint64_t Acknowledged() const;

 private:
  void StartNetwork();
  void SenderLoop();
  void OnConnect(int rc);
  void OnDisconnect(int rc);
  void OnPublish(int mid);
  void Report(const std::string& line) const;

  const MqttSettings settings_;
  const std::function<void(const std::string&)> report_;
  mosquitto* mosq_ = nullptr;
  std::thread sender_;
  bool started_ = false;
  bool stopped_ = false;
  bool networkStarted_ = false;  // the library's thread runs (owner's thread or sender)

  mutable std::mutex lock_;
  std::condition_variable wake_;      // the sender's: connected, room, a message, stopping
  std::condition_variable progress_;  // Flush's: an acknowledgement
  DiskQueue queue_;
  bool connected_ = false;
  bool everConnected_ = false;
  bool stopping_ = false;
  // The queue's first handed_ messages are with the library, their message ids in order in
  // handedIds_ (0 once acknowledged); acknowledged ones leave the queue from the front.
  uint64_t handed_ = 0;
  std::deque<int> handedIds_;
  int otherInFlight_ = 0;  // status and counters messages waiting for their acknowledgement
  uint64_t acknowledged_ = 0;
  std::string counters_;
  bool countersDirty_ = false;
  bool onlineDue_ = false;  // "online" to be sent by the sender after a connect
  bool reportedDown_ = false;
  bool networkDue_ = false;  // never connected yet: the sender retries the first connection
};

}  // namespace kelta::record
