#pragma once
// Readings to an MQTT broker with libmosquitto, at least once and in order. Every message
// goes first into a DiskQueue and leaves it only when the broker acknowledged it (QoS 1). A
// sender thread hands the queue's messages, oldest first, to the library while the broker is
// connected and fewer than kWindow wait for their acknowledgement.
//
// The queue alone sends again. Each connection is a clean session of a client object of its
// own: when a connection is lost the object goes with everything it held, and after the next
// connect the sender starts again at the oldest unacknowledged message. (Were the library to
// keep its session, it would send its unacknowledged messages again by itself, beside the
// queue: each reading in flight would arrive twice.) So a reading in flight is sent again
// once, and a message leaves the queue either acknowledged or dropped, never both: while the
// broker is away the queue grows on disk to its bound, then drops its oldest message not with
// the library (counted: Dropped(); after a lost connection nothing is with the library).
//
// The network thread is ours: it runs the library's loop in steps of at most 100 ms and makes
// every connection without blocking (an address that drops the connection's first packet
// leaves a connect pending, given up after kConnectTimeout), so Stop ends it at once whatever
// the network does. The queue folder is locked for the publisher's lifetime (FolderLock): a
// second recorder with the same folder is refused before it touches the queue.
//
// The recorder's status topic is retained: "online" once connected, "offline" on Stop and, as
// the last will, when the broker loses the recorder. The recorder's own messages beside the
// readings (counters, state, heartbeat) are the newest of their topic only (SetLatest).
//
// Threads: the owner's thread (Publish, SetCounters, Flush, Stop), the sender thread and the
// network thread (the library's loop and so its callbacks). lock_ guards the queue, mosq_ and
// every state field below it. mosquitto_publish is called with lock_ held (sender, and Stop
// once the sender has ended), never from a callback (the library holds its callback lock
// around those, and takes no lock of ours before its own); the network thread calls the loop
// without lock_, and makes and destroys client objects without it, swapping mosq_ under it.
// report runs on any of the threads, outside lock_.
//
// A broker that refuses the user name, the password or the recorder's certificate, or whose
// own certificate is not to be trusted, refuses it again however often it is asked: that is
// reported at once with its reason, no connection is tried again, and Refusal() says why, so
// the owner can end. Anything else (no answer, a reset, a broker restarting) is retried.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "apps/recorder/DiskQueue.h"
#include "apps/recorder/PublishShape.h"
#include "apps/recorder/RecordSystem.h"

struct mosquitto;
struct mosquitto_message;

namespace kelta::record {

struct MqttTls {
  bool enabled = false;
  std::string caFile;  // caFile and caPath both empty: the system's CA store
  std::string caPath;
  std::string certFile;  // with keyFile (and caFile or caPath): the recorder's own certificate
  std::string keyFile;
  bool insecure = false;  // the broker's certificate not checked at all
};

struct MqttSettings {
  std::string host;
  int port = 1883;
  std::string clientId;       // also the name in the status topic
  std::string statusTopic;    // retained "online" / "offline"
  std::string countersTopic;  // retained counters JSON
  std::string queueFolder;
  std::string topicPrefix;  // the queue takes up from disk only messages below it
  uint64_t queueMax = 100000;
  int keepAliveSeconds = 10;
  MqttTls tls;
  std::string username;  // empty: none
  std::optional<std::string> password;
};

class MqttPublisher {
 public:
  static constexpr int kWindow = 64;
  // A connection not made (no answer to the connect, or no CONNACK) by then is given up.
  static constexpr std::chrono::seconds kConnectTimeout{10};

  // Locks the queue folder (FolderInUse when another process holds it) and opens the queue
  // (std::system_error when it cannot). TLS files the library will not take (not there, not
  // readable) are std::invalid_argument. report gets one line per change of the broker's state
  // ("broker ... connected", "... unreachable, retrying").
  MqttPublisher(MqttSettings settings, std::function<void(const std::string&)> report);
  ~MqttPublisher();  // Stop()
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Before Start: the connection's will, greeting, farewell and the form of each queued
  // message are the shape's (the Sparkplug B edge node) instead of the status topic's and the
  // messages' own. The publisher keeps it until it is destroyed.
  void SetShape(std::shared_ptr<PublishShape> shape);
  // Starts connecting (in the background; an unreachable broker is retried for ever).
  void Start();
  // Queues one message for the broker. One the queue's disk refuses (full) is dropped and
  // counted (Dropped()), reported when the disk starts refusing and when it takes them again.
  void Publish(const std::string& topic, const std::string& payload);
  // A message of the recorder's own (counters, state, heartbeat): only the newest of a topic
  // matters, so it never waits in the queue. It goes out once the broker is there, a newer
  // one replacing one not yet sent; retained ones go out again after every connect (one
  // unchanged is not sent twice), the others are forgotten when a connection is made.
  void SetLatest(const std::string& topic, const std::string& payload, bool retained);
  void SetCounters(const std::string& json) { SetLatest(settings_.countersTopic, json, true); }
  // Waits until every queued message, and the latest ones, were acknowledged (true) or the time
  // passed (false).
  bool Flush(std::chrono::milliseconds timeout);
  // Sends "offline" when connected (its acknowledgement awaited for at most a second),
  // disconnects and ends the threads; a few hundred milliseconds beyond that at most, whatever
  // the network does. What is still queued stays on disk for the next run. Idempotent.
  void Stop();

  bool Connected() const;
  uint64_t Dropped() const;
  uint64_t Queued() const;  // on disk, not yet acknowledged by the broker
  uint64_t Acknowledged() const;
  // Why the broker refused the recorder for good; empty while it has not.
  std::string Refusal() const;

 private:
  mosquitto* NewClient();
  // The settings' TLS and credentials for client; what the library refused, or "".
  std::string Secure(mosquitto* client) const;
  // Why a failed connection attempt (rc and errno err of the library call) will fail however
  // often it is retried; "" when it may pass.
  std::string LastingFault(int rc, int err, bool connected);
  // What failed a connection attempt; with TLS as the library told it.
  std::string WhyNot(int rc, int err) const;
  // Reported once; no connection is tried again.
  void Refuse(const std::string& why);
  void NetworkLoop();
  // The connection is gone (or was never made): what the library held is forgotten.
  void ConnectionGone(bool failedToConnect, const std::string& why);
  void SenderLoop();
  bool LatestDue() const;  // lock_ held
  void OnConnect(mosquitto* client, int rc);
  void OnPublish(mosquitto* client, int mid);
  void OnMessage(const mosquitto_message* message);
  // Acknowledged messages leave the queue from its front (lock_ held).
  void PopAcknowledged();
  // A message of the shape's beside the readings (lock_ held): true when handed to the library.
  bool PublishOther(const OutgoingMessage& message);
  // The queued message at handed_ through the shape (lock_ held): the library's result.
  int PublishShaped(const QueuedMessage& message, int& mid);
  void Report(const std::string& line) const;

  const MqttSettings settings_;
  const std::function<void(const std::string&)> report_;
  std::thread sender_;
  std::thread network_;
  bool started_ = false;
  bool stopped_ = false;

  mutable std::mutex lock_;
  std::condition_variable wake_;      // the sender's: connected, room, a message, stopping
  std::condition_variable progress_;  // Flush's and Stop's: an acknowledgement, a disconnect
  std::condition_variable netWake_;   // the network thread's: the end
  FolderLock folderLock_;             // before the queue: nobody else may open it
  DiskQueue queue_;
  mosquitto* mosq_ = nullptr;  // the current connection's client; null between connections
  bool connected_ = false;
  bool everConnected_ = false;
  bool stopping_ = false;
  // The queue's first handed_ messages are with the library, their message ids in order in
  // handedIds_ (0 once acknowledged); acknowledged ones leave the queue from the front.
  uint64_t handed_ = 0;
  std::deque<int> handedIds_;
  int otherInFlight_ = 0;  // status and latest messages waiting for their acknowledgement
  uint64_t acknowledged_ = 0;
  struct Latest {
    std::string payload;
    bool retained = false;
    bool due = false;  // to be sent
  };
  std::map<std::string, Latest> latest_;  // by topic
  std::shared_ptr<PublishShape> shape_;
  // "online" (or the shape's greeting) to be sent by the sender after a connect.
  bool onlineDue_ = false;
  bool reportedDown_ = false;
  bool networkStop_ = false;  // the network thread ends
  std::string refusal_;
  int closedBeforeAnswer_ = 0;  // the network thread's: TLS connections in a row closed unanswered

  // The library's error lines of the current connection attempt (the reason of a TLS failure
  // is told only there). Its own lock: the library logs from whichever thread calls it, the
  // sender's with lock_ held.
  mutable std::mutex libraryLogLock_;
  std::string libraryErrors_;
};

}  // namespace kelta::record
