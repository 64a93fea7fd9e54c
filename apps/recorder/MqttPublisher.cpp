#include "apps/recorder/MqttPublisher.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "apps/recorder/SystemTrust.h"

namespace kelta::record {

namespace {

constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

MqttPublisher* Self(void* user) { return static_cast<MqttPublisher*>(user); }

// What a library call's result says, err being the errno right after it.
std::string Why(int rc, int err = errno) {
  if (rc == MOSQ_ERR_ERRNO) return strerror(err);
  if (rc == MOSQ_ERR_KEEPALIVE) return "no answer within the keep-alive time";
  return mosquitto_strerror(rc);
}

}  // namespace

MqttPublisher::MqttPublisher(MqttSettings settings, std::function<void(const std::string&)> report)
    : settings_(std::move(settings)),
      report_(std::move(report)),
      folderLock_(settings_.queueFolder),
      // The queue's own bound, at the front, is only for what an earlier run left.
      queue_(settings_.queueFolder, settings_.queueMax + kWindow, settings_.topicPrefix) {
  // The TLS files are tried at once, so that a wrong name is told at the start.
  if (settings_.tls.enabled) {
    InitLibrary();
    mosquitto* probe = mosquitto_new(nullptr, true, nullptr);
    const std::string fault = probe == nullptr ? "out of memory" : Secure(probe);
    if (probe != nullptr) mosquitto_destroy(probe);
    if (!fault.empty()) throw std::invalid_argument(fault);
  }
  // What the queue found on disk: damaged records, foreign topics, an earlier format.
  for (const std::string& note : queue_.TakeNotes()) Report(note);
}

MqttPublisher::~MqttPublisher() { Stop(); }

void MqttPublisher::Report(const std::string& line) const {
  if (report_) report_(line);
}

void MqttPublisher::SetShape(std::shared_ptr<PublishShape> shape) {
  if (started_) throw std::logic_error("MqttPublisher::SetShape called after Start");
  shape_ = std::move(shape);
}

void MqttPublisher::Start() {
  if (started_) throw std::logic_error("MqttPublisher::Start called twice");
  InitLibrary();
  started_ = true;
  network_ = std::thread([this] { NetworkLoop(); });
  sender_ = std::thread([this] { SenderLoop(); });
}

mosquitto* MqttPublisher::NewClient() {
  // A clean session: the queue, not the broker or the library, keeps what is unacknowledged.
  mosquitto* client = mosquitto_new(settings_.clientId.c_str(), true, this);
  if (client == nullptr) return nullptr;
  // Publishing from the sender thread wakes our loop instead of writing from that thread.
  mosquitto_threaded_set(client, true);
  mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // Room for the status and counters messages beside a full window of readings.
  mosquitto_max_inflight_messages_set(client, kWindow + 4);
  if (shape_) {
    OutgoingMessage will;
    {
      std::lock_guard lock(lock_);
      will = shape_->Will();
    }
    mosquitto_will_set(client, will.topic.c_str(), static_cast<int>(will.payload.size()),
                       will.payload.data(), will.qos, will.retain);
    mosquitto_message_callback_set(client,
                                   [](mosquitto*, void* user, const mosquitto_message* message) {
                                     Self(user)->OnMessage(message);
                                   });
  } else {
    mosquitto_will_set(client, settings_.statusTopic.c_str(), sizeof kOffline - 1, kOffline, 1,
                       true);
  }
  mosquitto_connect_callback_set(
      client, [](mosquitto* m, void* user, int rc) { Self(user)->OnConnect(m, rc); });
  mosquitto_publish_callback_set(
      client, [](mosquitto* m, void* user, int mid) { Self(user)->OnPublish(m, mid); });
  mosquitto_log_callback_set(client, [](mosquitto*, void* user, int level, const char* line) {
    if (level != MOSQ_LOG_ERR) return;
    MqttPublisher* self = Self(user);
    std::lock_guard lock(self->libraryLogLock_);
    if (self->libraryErrors_.size() < 1000) {
      self->libraryErrors_ += (self->libraryErrors_.empty() ? "" : "; ") + std::string(line);
    }
  });
  return client;
}

std::string MqttPublisher::Secure(mosquitto* client) const {
  if (!settings_.username.empty()) {
    const int rc =
        mosquitto_username_pw_set(client, settings_.username.c_str(),
                                  settings_.password ? settings_.password->c_str() : nullptr);
    if (rc != MOSQ_ERR_SUCCESS) return "--username: " + Why(rc);
  }
  const MqttTls& tls = settings_.tls;
  if (!tls.enabled) return {};
  // The library says only that one of them is wrong.
  for (const auto& [option, path] :
       {std::pair{"--cafile", tls.caFile}, {"--cert", tls.certFile}, {"--key", tls.keyFile}}) {
    if (path.empty()) continue;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::string(option) + " " + path + ": " + strerror(errno);
    std::fclose(file);
  }
  if (!tls.caPath.empty() && !IsFolder(tls.caPath)) return "--capath " + tls.caPath + ": no folder";
  const auto text = [](const std::string& value) {
    return value.empty() ? nullptr : value.c_str();
  };
  int rc = MOSQ_ERR_SUCCESS;
  if (tls.caFile.empty() && tls.caPath.empty()) {
    rc = TrustSystemStore(client, settings_.host, tls.insecure);
  } else {
    rc = mosquitto_tls_set(client, text(tls.caFile), text(tls.caPath), text(tls.certFile),
                           text(tls.keyFile), nullptr);
  }
  // TLS 1.2 or newer; the broker's certificate checked against the CAs (1: SSL_VERIFY_PEER)
  // and, unless insecure, its host name against the one connected to.
  if (rc == MOSQ_ERR_SUCCESS)
    rc = mosquitto_tls_opts_set(client, tls.insecure ? 0 : 1, "tlsv1.2", nullptr);
  if (rc == MOSQ_ERR_SUCCESS && tls.insecure) rc = mosquitto_tls_insecure_set(client, true);
  return rc == MOSQ_ERR_SUCCESS ? std::string() : "TLS: " + Why(rc);
}

std::string MqttPublisher::LastingFault(int rc, int err, bool connected) {
  const int closedBefore = std::exchange(closedBeforeAnswer_, 0);
  if (connected || !settings_.tls.enabled) return {};
  std::string errors;
  {
    std::lock_guard lock(libraryLogLock_);
    errors = libraryErrors_;
  }
  const auto said = [&](const char* text) { return errors.find(text) != std::string::npos; };
  const MqttTls& tls = settings_.tls;
  if (rc == MOSQ_ERR_TLS) {
    if (said("host name verification failed")) {
      return "its certificate is not made out to the host name " + settings_.host +
             " (TLS: host name verification failed)";
    }
    if (said("certificate verify failed")) {
      return std::string("its certificate is not to be trusted: not signed by a CA ") +
             (tls.caFile.empty() && tls.caPath.empty() ? "of the system's store"
                                                       : "of --cafile or --capath") +
             ", or out of date (TLS: certificate verify failed)";
    }
    if (said("Unable to load") || said("mismatch")) {
      return "the recorder's TLS files were not taken (" + errors + ")";
    }
    if (said("alert")) return "it ended the TLS handshake (" + errors + ")";
    return {};
  }
  const std::string certificate =
      tls.certFile.empty() ? " or wants one (--cert and --key)" : " (--cert)";
  // A TLS protocol failure, not a closed or reset connection: the broker broke off the
  // handshake with an alert the library does not tell.
  if (rc == MOSQ_ERR_ERRNO && err == EPROTO) {
    return "it broke off the TLS handshake: it refused the recorder's certificate" + certificate;
  }
  // With TLS 1.3 the broker judges the recorder's certificate after the handshake; its alert
  // is lost when it closes before reading what the recorder sent meanwhile (a reset). Once
  // could be a broker going down; three times in a row is the broker's answer.
  if (rc == MOSQ_ERR_CONN_LOST || (rc == MOSQ_ERR_ERRNO && err == ECONNRESET)) {
    closedBeforeAnswer_ = closedBefore + 1;
    if (closedBeforeAnswer_ >= 3) {
      return "it closed the TLS connection before answering, three times in a row: it refused "
             "the recorder's certificate" +
             certificate;
    }
  }
  return {};
}

std::string MqttPublisher::WhyNot(int rc, int err) const {
  if (rc != MOSQ_ERR_TLS) return Why(rc, err);
  std::lock_guard lock(libraryLogLock_);
  return libraryErrors_.empty() ? Why(rc, err) : "TLS: " + libraryErrors_;
}

void MqttPublisher::Refuse(const std::string& why) {
  {
    std::lock_guard lock(lock_);
    if (!refusal_.empty()) return;
    refusal_ = why;
    reportedDown_ = true;
  }
  progress_.notify_all();
  Report("MQTT broker " + settings_.host + ":" + std::to_string(settings_.port) + ": " + why +
         "; not tried again");
}

void MqttPublisher::NetworkLoop() {
  using Clock = std::chrono::steady_clock;
  // Retried quickly at first, then no more than every 5 s.
  std::chrono::seconds retry(1);
  Clock::time_point nextTry = Clock::now();
  Clock::time_point tried{};
  for (;;) {
    mosquitto* client = nullptr;
    {
      std::unique_lock lock(lock_);
      if (networkStop_) break;
      client = mosq_;
      if (client == nullptr) {
        // Between connections: the next try, or the end (no new connection once stopping).
        if (netWake_.wait_until(
                lock, nextTry, [this] { return networkStop_ || stopping_ || !refusal_.empty(); })) {
          netWake_.wait(lock, [this] { return networkStop_; });
          break;
        }
      }
    }
    if (client == nullptr) {
      {
        std::lock_guard lock(libraryLogLock_);
        libraryErrors_.clear();
      }
      client = NewClient();
      if (client != nullptr) {
        if (const std::string fault = Secure(client); !fault.empty()) {
          mosquitto_destroy(client);
          Refuse(fault);
          continue;
        }
      }
      // Without blocking: the connect goes on in the loop below (with TLS on a fast network
      // the handshake may be made, and fail, here).
      const int rc = client == nullptr
                         ? MOSQ_ERR_NOMEM
                         : mosquitto_connect_async(client, settings_.host.c_str(), settings_.port,
                                                   settings_.keepAliveSeconds);
      const int err = errno;
      if (rc != MOSQ_ERR_SUCCESS) {
        const std::string why = WhyNot(rc, err);
        if (client != nullptr) mosquitto_destroy(client);
        if (const std::string fault = LastingFault(rc, err, false); !fault.empty()) Refuse(fault);
        ConnectionGone(true, why);
        nextTry = Clock::now() + retry;
        retry = std::min(retry * 2, std::chrono::seconds(5));
        continue;
      }
      {
        std::lock_guard lock(lock_);
        mosq_ = client;
      }
      tried = Clock::now();
    }
    const int rc = mosquitto_loop(client, 100, 1);
    const int err = errno;
    const std::string why = WhyNot(rc, err);
    bool connected = false;
    {
      std::lock_guard lock(lock_);
      connected = connected_;
    }
    if (rc == MOSQ_ERR_SUCCESS && connected) {
      retry = std::chrono::seconds(1);
      continue;
    }
    if (rc == MOSQ_ERR_SUCCESS && Clock::now() - tried < kConnectTimeout) continue;
    // Lost, refused, or no answer in time: the client goes, with what it held.
    if (rc != MOSQ_ERR_SUCCESS) {
      if (const std::string fault = LastingFault(rc, err, connected); !fault.empty()) Refuse(fault);
    }
    ConnectionGone(!connected, rc == MOSQ_ERR_SUCCESS ? "no answer" : why);
    nextTry = Clock::now() + retry;
    retry = std::min(retry * 2, std::chrono::seconds(5));
  }
  mosquitto* client = nullptr;
  {
    std::lock_guard lock(lock_);
    std::swap(client, mosq_);
    connected_ = false;
  }
  if (client != nullptr) mosquitto_destroy(client);
}

void MqttPublisher::ConnectionGone(bool failedToConnect, const std::string& why) {
  mosquitto* client = nullptr;
  bool report = false;
  {
    std::lock_guard lock(lock_);
    std::swap(client, mosq_);
    connected_ = false;
    // Nothing is with the library any more: the sender starts again at the oldest message.
    handed_ = 0;
    handedIds_.clear();
    otherInFlight_ = 0;
    if (shape_) shape_->Disconnected();
    report = !stopping_ && !reportedDown_ && refusal_.empty();
    if (report) reportedDown_ = true;
  }
  if (client != nullptr) mosquitto_destroy(client);
  progress_.notify_all();
  if (!report) return;
  const std::string where = settings_.host + ":" + std::to_string(settings_.port);
  if (failedToConnect) {
    Report("MQTT broker " + where + " unreachable (" + why + "), retrying; readings wait on disk");
  } else {
    Report("MQTT broker " + where + " lost, retrying; readings wait on disk (" + why + ")");
  }
}

void MqttPublisher::Publish(const std::string& topic, const std::string& payload) {
  std::vector<std::string> notes;
  {
    std::lock_guard lock(lock_);
    // The bound counts the messages not yet with the library: the oldest of those goes.
    if (queue_.Size() - handed_ >= settings_.queueMax) queue_.DropAt(handed_);
    // One the disk refuses is dropped and counted; the queue notes a full disk's start and end.
    queue_.Push(QueuedMessage{topic, payload});
    notes = queue_.TakeNotes();
  }
  wake_.notify_all();
  for (const std::string& note : notes) Report(note);
}

void MqttPublisher::SetLatest(const std::string& topic, const std::string& payload, bool retained) {
  {
    std::lock_guard lock(lock_);
    Latest& latest = latest_[topic];
    if (retained && latest.retained && latest.payload == payload) return;
    latest = Latest{payload, retained, true};
  }
  wake_.notify_all();
}

bool MqttPublisher::LatestDue() const {
  return std::any_of(latest_.begin(), latest_.end(), [](const auto& l) { return l.second.due; });
}

bool MqttPublisher::Flush(std::chrono::milliseconds timeout) {
  std::unique_lock lock(lock_);
  return progress_.wait_for(
      lock, timeout, [this] { return queue_.Empty() && !LatestDue() && otherInFlight_ == 0; });
}

void MqttPublisher::Stop() {
  if (!started_ || stopped_) return;
  stopped_ = true;
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  netWake_.notify_all();
  if (sender_.joinable()) sender_.join();
  {
    std::unique_lock lock(lock_);
    if (connected_) {
      const std::vector<OutgoingMessage> farewell =
          shape_ ? shape_->Farewell()
                 : std::vector<OutgoingMessage>{{settings_.statusTopic, kOffline, 1, true}};
      const uint64_t before = acknowledged_;
      uint64_t handed = 0;
      for (const OutgoingMessage& message : farewell) handed += PublishOther(message) ? 1 : 0;
      // Their acknowledgement, briefly: a broker that does not answer is left with the last
      // will, which says the same.
      progress_.wait_for(lock, std::chrono::seconds(1),
                         [&] { return acknowledged_ >= before + handed || !connected_; });
    }
    if (connected_ && mosquitto_disconnect(mosq_) == MOSQ_ERR_SUCCESS) {
      // The loop writes the disconnect and closes the connection.
      progress_.wait_for(lock, std::chrono::milliseconds(500), [&] { return !connected_; });
    }
    networkStop_ = true;
  }
  netWake_.notify_all();
  if (network_.joinable()) network_.join();
  std::vector<std::string> notes;
  {
    std::lock_guard lock(lock_);
    queue_.Finish();
    notes = queue_.TakeNotes();
  }
  for (const std::string& note : notes) Report(note);
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

std::string MqttPublisher::Refusal() const {
  std::lock_guard lock(lock_);
  return refusal_;
}

void MqttPublisher::OnConnect(mosquitto* client, int rc) {
  const std::string where = settings_.host + ":" + std::to_string(settings_.port);
  if (rc == CONNACK_REFUSED_BAD_USERNAME_PASSWORD || rc == CONNACK_REFUSED_NOT_AUTHORIZED) {
    Refuse(std::string("it refused ") +
           (settings_.username.empty()
                ? "a client without a user name (give --username and "
                  "--password-file)"
                : "the user name " + settings_.username + " or its password") +
           " (" + mosquitto_connack_string(rc) + ")");
    return;
  }
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
    closedBeforeAnswer_ = 0;
    reportedDown_ = false;
    onlineDue_ = true;
    // What the broker retains goes again (it may have lost it); the rest is of the past.
    for (auto& [topic, latest] : latest_) latest.due = latest.retained;
  }
  wake_.notify_all();
  std::vector<std::string> topics;
  if (shape_) {
    std::lock_guard lock(lock_);
    topics = shape_->Subscriptions();
  }
  // From the callback, as the library's own examples do; lock_ is not held.
  for (const std::string& topic : topics) mosquitto_subscribe(client, nullptr, topic.c_str(), 1);
  Report("MQTT broker " + where + " connected" +
         (!settings_.tls.enabled   ? ""
          : settings_.tls.insecure ? " (TLS; its certificate NOT checked)"
                                   : " (TLS)"));
}

void MqttPublisher::OnPublish(mosquitto*, int mid) {
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
    PopAcknowledged();
  }
  wake_.notify_all();
  progress_.notify_all();
}

void MqttPublisher::PopAcknowledged() {
  while (!handedIds_.empty() && handedIds_.front() == 0) {
    handedIds_.pop_front();
    --handed_;
    queue_.Pop();
  }
}

void MqttPublisher::OnMessage(const mosquitto_message* message) {
  if (message == nullptr || message->topic == nullptr) return;
  const std::string topic = message->topic;
  const std::string payload(
      static_cast<const char*>(message->payload),
      message->payload == nullptr ? 0 : static_cast<size_t>(message->payloadlen));
  {
    std::lock_guard lock(lock_);
    if (!shape_ || !connected_ || !shape_->Received(topic, payload)) return;
    onlineDue_ = true;
  }
  wake_.notify_all();
}

bool MqttPublisher::PublishOther(const OutgoingMessage& message) {
  if (mosquitto_publish(mosq_, nullptr, message.topic.c_str(),
                        static_cast<int>(message.payload.size()), message.payload.data(),
                        message.qos, message.retain) != MOSQ_ERR_SUCCESS) {
    return false;
  }
  ++otherInFlight_;
  return true;
}

int MqttPublisher::PublishShaped(const QueuedMessage& message, int& mid) {
  std::vector<OutgoingMessage> out;
  try {
    out = shape_->Shape(message);
  } catch (const std::exception& e) {
    // Not to be sent in this form (a line too long for its field): dropped, not blocking the
    // rest; counted with the queue's drops.
    queue_.DropAt(handed_);
    Report(std::string("MQTT message dropped: ") + e.what());
    return MOSQ_ERR_SUCCESS;
  }
  if (out.empty()) {
    // Nothing to send for it: done once those before it are.
    ++handed_;
    handedIds_.push_back(0);
    PopAcknowledged();
    return MOSQ_ERR_SUCCESS;
  }
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    if (!PublishOther(out[i])) return MOSQ_ERR_NO_CONN;
  }
  const OutgoingMessage& last = out.back();
  const int rc =
      mosquitto_publish(mosq_, &mid, last.topic.c_str(), static_cast<int>(last.payload.size()),
                        last.payload.data(), last.qos, last.retain);
  if (rc == MOSQ_ERR_SUCCESS) {
    ++handed_;
    handedIds_.push_back(mid);
  }
  return rc;
}

void MqttPublisher::SenderLoop() {
  std::unique_lock lock(lock_);
  const auto ready = [this] {
    return stopping_ || (connected_ && (onlineDue_ || (LatestDue() && otherInFlight_ < 2) ||
                                        (handed_ < queue_.Size() && handed_ < kWindow)));
  };
  for (;;) {
    // Meanwhile what was written to the queue goes onto the disk when due (within 250 ms).
    while (!ready()) {
      const std::optional<DiskQueue::Clock::time_point> due = queue_.SyncDue();
      if (!due) {
        wake_.wait(lock);
      } else if (wake_.wait_until(lock, *due) == std::cv_status::timeout) {
        queue_.Sync();
      }
    }
    if (const auto due = queue_.SyncDue(); due && *due <= DiskQueue::Clock::now()) queue_.Sync();
    if (stopping_) return;
    if (onlineDue_) {
      onlineDue_ = false;
      if (shape_) {
        // A greeting asked for again starts over: what was handed waits for its turn anew.
        for (const OutgoingMessage& message : shape_->Greeting()) PublishOther(message);
      } else {
        PublishOther({settings_.statusTopic, kOnline, 1, true});
      }
      continue;
    }
    if (LatestDue()) {
      for (auto& [topic, latest] : latest_) {
        if (!latest.due) continue;
        latest.due = false;
        if (mosquitto_publish(mosq_, nullptr, topic.c_str(),
                              static_cast<int>(latest.payload.size()), latest.payload.data(), 1,
                              latest.retained) == MOSQ_ERR_SUCCESS) {
          ++otherInFlight_;
        }
        break;
      }
      continue;
    }
    const std::optional<QueuedMessage> checked = queue_.Checked(handed_);
    if (!checked) continue;  // damaged on the disk: dropped (noted at the next Publish)
    const QueuedMessage& message = *checked;
    int mid = 0;
    // Its acknowledgement waits for lock_, held here. A real id is never 0.
    const int rc = shape_ ? PublishShaped(message, mid)
                          : mosquitto_publish(mosq_, &mid, message.topic.c_str(),
                                              static_cast<int>(message.payload.size()),
                                              message.payload.data(), 1, false);
    if (rc == MOSQ_ERR_SUCCESS) {
      if (!shape_) {
        ++handed_;
        handedIds_.push_back(mid);
      }
    } else if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST) {
      // The network thread sees it too and replaces the client; the message stays queued.
      wake_.wait_for(lock, std::chrono::milliseconds(100));
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
