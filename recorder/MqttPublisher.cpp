#include "recorder/MqttPublisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace kelta::record {

namespace {

constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

MqttPublisher* Self(void* user) { return static_cast<MqttPublisher*>(user); }

}  // namespace

MqttPublisher::MqttPublisher(MqttSettings settings, std::function<void(const std::string&)> report)
    : settings_(std::move(settings)),
      report_(std::move(report)),
      // The queue's own bound, at the front, is only for what an earlier run left.
      queue_(settings_.queueFolder, settings_.queueMax + kWindow) {}

MqttPublisher::~MqttPublisher() { Stop(); }

void MqttPublisher::Report(const std::string& line) const {
  if (report_) report_(line);
}

void MqttPublisher::Start() {
  if (started_) throw std::logic_error("MqttPublisher::Start called twice");
  InitLibrary();
  // A persistent session: the broker keeps what it has not yet acknowledged across a reconnect.
  mosq_ = mosquitto_new(settings_.clientId.c_str(), false, this);
  if (mosq_ == nullptr) throw std::runtime_error("cannot create the MQTT client");
  started_ = true;
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // Room for the status and counters messages beside a full window of readings.
  mosquitto_max_inflight_messages_set(mosq_, kWindow + 4);
  // Retried quickly at first, then no more than every 5 s.
  mosquitto_reconnect_delay_set(mosq_, 1, 5, true);
  mosquitto_will_set(mosq_, settings_.statusTopic.c_str(), sizeof kOffline - 1, kOffline, 1, true);
  mosquitto_connect_callback_set(mosq_,
                                 [](mosquitto*, void* user, int rc) { Self(user)->OnConnect(rc); });
  mosquitto_disconnect_callback_set(
      mosq_, [](mosquitto*, void* user, int rc) { Self(user)->OnDisconnect(rc); });
  mosquitto_publish_callback_set(
      mosq_, [](mosquitto*, void* user, int mid) { Self(user)->OnPublish(mid); });
  const int rc = mosquitto_connect_async(mosq_, settings_.host.c_str(), settings_.port,
                                         settings_.keepAliveSeconds);
  if (rc == MOSQ_ERR_SUCCESS) {
    StartNetwork();
  } else {
    // The library's thread retries only a connection it once made: until then the sender
    // thread tries again.
    {
      std::lock_guard lock(lock_);
      reportedDown_ = true;
      networkDue_ = true;
    }
    Report("MQTT broker " + settings_.host + ":" + std::to_string(settings_.port) +
           " unreachable (" +
           (rc == MOSQ_ERR_ERRNO ? std::string(strerror(errno))
                                 : std::string(mosquitto_strerror(rc))) +
           "), retrying; readings wait on disk");
  }
  sender_ = std::thread([this] { SenderLoop(); });
}

void MqttPublisher::StartNetwork() {
  if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) {
    throw std::runtime_error("cannot start the MQTT network thread");
  }
  networkStarted_ = true;
}

void MqttPublisher::Publish(const std::string& topic, const std::string& payload) {
  {
    std::lock_guard lock(lock_);
    // The bound counts the messages not yet with the library: the oldest of those goes.
    if (queue_.Size() - handed_ >= settings_.queueMax) queue_.DropAt(handed_);
    queue_.Push(QueuedMessage{topic, payload});
  }
  wake_.notify_all();
}

void MqttPublisher::SetCounters(const std::string& json) {
  {
    std::lock_guard lock(lock_);
    if (json == counters_) return;
    counters_ = json;
    countersDirty_ = true;
  }
  wake_.notify_all();
}

bool MqttPublisher::Flush(std::chrono::milliseconds timeout) {
  std::unique_lock lock(lock_);
  return progress_.wait_for(lock, timeout, [this] { return queue_.Empty(); });
}

void MqttPublisher::Stop() {
  if (!started_ || stopped_) return;
  stopped_ = true;
  bool connected = false;
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
    connected = connected_;
  }
  wake_.notify_all();
  if (sender_.joinable()) sender_.join();
  if (connected) {
    int mid = 0;
    if (mosquitto_publish(mosq_, &mid, settings_.statusTopic.c_str(), sizeof kOffline - 1, kOffline,
                          1, true) == MOSQ_ERR_SUCCESS) {
      // Its acknowledgement, briefly: a disconnect right behind it would not lose it, but
      // the broker's answer tells the next reader for sure.
      std::unique_lock lock(lock_);
      const uint64_t before = acknowledged_;
      progress_.wait_for(lock, std::chrono::seconds(2),
                         [&] { return acknowledged_ > before || !connected_; });
    }
  }
  mosquitto_disconnect(mosq_);
  // Not forced: a cancelled network thread would leave the library's locks held. The
  // disconnect ends its loop, a retry wait included.
  if (networkStarted_) mosquitto_loop_stop(mosq_, false);
  mosquitto_destroy(mosq_);
  mosq_ = nullptr;
}

bool MqttPublisher::Connected() const {
  std::lock_guard lock(lock_);
  return connected_;
}

uint64_t MqttPublisher::Dropped() const {
  std::lock_guard lock(lock_);
  return queue_.Dropped();
}

uint64_t MqttPublisher::Queued() const {
  std::lock_guard lock(lock_);
  return queue_.Size();
}

uint64_t MqttPublisher::Acknowledged() const {
  std::lock_guard lock(lock_);
  return acknowledged_;
}

void MqttPublisher::OnConnect(int rc) {
  const std::string where = settings_.host + ":" + std::to_string(settings_.port);
  if (rc != 0) {
    bool report = false;
    {
      std::lock_guard lock(lock_);
      report = !reportedDown_;
      reportedDown_ = true;
    }
    if (report) {
      Report("MQTT broker " + where + " refused the connection (" + mosquitto_connack_string(rc) +
             "), retrying");
    }
    return;
  }
  {
    std::lock_guard lock(lock_);
    connected_ = true;
    everConnected_ = true;
    reportedDown_ = false;
    onlineDue_ = true;
    countersDirty_ = !counters_.empty();
  }
  wake_.notify_all();
  Report("MQTT broker " + where + " connected");
}

void MqttPublisher::OnDisconnect(int rc) {
  bool report = false;
  {
    std::lock_guard lock(lock_);
    connected_ = false;
    // What the library holds now is sent again by the sender after the reconnect.
    handed_ = 0;
    handedIds_.clear();
    otherInFlight_ = 0;
    report = rc != 0 && !stopping_ && !reportedDown_;
    if (report) reportedDown_ = true;
  }
  progress_.notify_all();
  if (report) {
    Report("MQTT broker " + settings_.host + ":" + std::to_string(settings_.port) +
           " lost, retrying; readings wait on disk");
  }
}

void MqttPublisher::OnPublish(int mid) {
  {
    std::lock_guard lock(lock_);
    ++acknowledged_;
    bool reading = false;
    for (int& id : handedIds_) {
      if (id == mid) {
        id = 0;
        reading = true;
        break;
      }
    }
    if (!reading && otherInFlight_ > 0) --otherInFlight_;
    while (!handedIds_.empty() && handedIds_.front() == 0) {
      handedIds_.pop_front();
      --handed_;
      queue_.Pop();
    }
  }
  wake_.notify_all();
  progress_.notify_all();
}

void MqttPublisher::SenderLoop() {
  std::unique_lock lock(lock_);
  std::chrono::seconds retry(1);
  while (networkDue_) {
    if (wake_.wait_for(lock, retry, [this] { return stopping_; })) return;
    retry = std::min(retry * 2, std::chrono::seconds(5));
    lock.unlock();
    const bool reached = mosquitto_reconnect_async(mosq_) == MOSQ_ERR_SUCCESS;
    if (reached) StartNetwork();
    lock.lock();
    if (reached) networkDue_ = false;
  }
  for (;;) {
    wake_.wait(lock, [this] {
      return stopping_ || (connected_ && (onlineDue_ || (countersDirty_ && otherInFlight_ < 2) ||
                                          (handed_ < queue_.Size() && handed_ < kWindow)));
    });
    if (stopping_) return;
    if (onlineDue_) {
      onlineDue_ = false;
      if (mosquitto_publish(mosq_, nullptr, settings_.statusTopic.c_str(), sizeof kOnline - 1,
                            kOnline, 1, true) == MOSQ_ERR_SUCCESS) {
        ++otherInFlight_;
      }
      continue;
    }
    if (countersDirty_) {
      countersDirty_ = false;
      if (mosquitto_publish(mosq_, nullptr, settings_.countersTopic.c_str(),
                            static_cast<int>(counters_.size()), counters_.data(), 1,
                            true) == MOSQ_ERR_SUCCESS) {
        ++otherInFlight_;
      }
      continue;
    }
    const QueuedMessage message = queue_.At(handed_);
    int mid = 0;
    const int rc = mosquitto_publish(mosq_, &mid, message.topic.c_str(),
                                     static_cast<int>(message.payload.size()),
                                     message.payload.data(), 1, false);
    if (rc == MOSQ_ERR_SUCCESS) {
      ++handed_;
      // Its acknowledgement waits for lock_, held here. A real id is never 0.
      handedIds_.push_back(mid);
    } else if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST) {
      // The disconnect callback follows; the message stays in the queue.
      connected_ = false;
    } else if (handed_ == 0) {
      // Not for this broker (too large, bad topic): dropped rather than blocking the rest.
      queue_.Pop();
      lock.unlock();
      Report(std::string("MQTT message dropped: ") + mosquitto_strerror(rc));
      lock.lock();
    } else {
      // Behind messages still with the library: tried again once they are acknowledged.
      wake_.wait_for(lock, std::chrono::milliseconds(100));
    }
  }
}

}  // namespace kelta::record
