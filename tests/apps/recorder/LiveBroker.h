#pragma once
// What the recorder's end-to-end tests run: a real MQTT broker on a free loopback port, a
// subscriber that keeps every message, and programs started in the background.
// Threads: each object on one test thread; the subscriber's messages arrive on libmosquitto's
// thread and are read under its lock.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;

namespace kelta::test {

// A program started with its output and errors in files; ended by Signal and Wait.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& outPath,
        const std::string& errPath);
  ~Child();  // SIGKILL when still running
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void Signal(int signal) const;
  // The exit status, or -1 when the program did not end by itself within timeout (then it
  // is killed), or 128 + signal when a signal ended it.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// A second listener of the broker, secured as said here, for the recorder under test; the
// first (Port) stays open to anonymous clients such as the test's subscriber.
struct BrokerSecurity {
  std::string caFile;  // with certFile and keyFile: the listener speaks TLS only
  std::string certFile;
  std::string keyFile;
  bool requireCertificate = false;  // a client must show one signed by caFile
  std::string passwordFile;         // MakePasswordFile's; clients without a user name refused
};

// Debian's mosquitto on 127.0.0.1 only, persistence in its folder (kept across Stop/Start, so
// a subscriber's session survives a restart of the broker).
class LiveBroker {
 public:
  explicit LiveBroker(const std::string& folder,
                      const std::optional<BrokerSecurity>& security = std::nullopt);
  ~LiveBroker();
  void Start();  // waits until the port answers
  void Stop();   // SIGTERM and wait: the broker saves its state
  int Port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  // The secured listener's (0 without BrokerSecurity).
  int SecurePort() const { return securePort_; }
  std::string SecureAddress() const { return "127.0.0.1:" + std::to_string(securePort_); }

 private:
  std::string folder_;
  int port_ = 0;
  int securePort_ = 0;
  Child* child_ = nullptr;
};

// A TCP relay on a free loopback port in front of the broker that can cut the line silently,
// as a pulled cable or a frozen broker does. Threads: its own relay thread; the rest on the
// test's thread.
class BrokerLink {
 public:
  explicit BrokerLink(int brokerPort);
  ~BrokerLink();
  BrokerLink(const BrokerLink&) = delete;
  BrokerLink& operator=(const BrokerLink&) = delete;

  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  // The connections carried now pass no more bytes, either way, and are never closed; new
  // connections are relayed.
  void Freeze();
  // Freeze, and new connections are not answered at all: the relay stops accepting and its
  // listening queue is filled, so the system drops the first packet of every new one.
  void Blackhole();
  // The connections carried now pass on what the client sends, while the broker's answers
  // (acknowledgements, answers to pings) are lost on the way: a line broken one way. New
  // connections are relayed.
  void MuteAnswers();

 private:
  void Relay();

  int port_ = 0;
  int brokerPort_;
  int listenFd_ = -1;
  int wake_[2] = {-1, -1};
  std::mutex lock_;
  bool freeze_ = false;
  bool blackhole_ = false;
  bool mute_ = false;
  bool stop_ = false;
  std::vector<int> fillers_;
  std::thread thread_;
};

struct Message {
  std::string topic;
  std::string payload;
  bool retained = false;
};

class Subscriber {
 public:
  // Subscribes to pattern (QoS 1) with a persistent session and returns once the broker
  // confirmed it (std::runtime_error after 20 s); reconnects by itself.
  Subscriber(int port, const std::string& pattern);
  ~Subscriber();
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  std::vector<Message> Messages() const;
  // True as soon as cond holds for the messages so far; false after timeout.
  bool WaitFor(const std::function<bool(const std::vector<Message>&)>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

 private:
  mosquitto* mosq_ = nullptr;
  std::string pattern_;
  mutable std::mutex lock_;
  std::vector<Message> messages_;
  bool subscribed_ = false;
};

// Made with openssl into folder (ending in '/'): a CA (ca.pem, ca.key) and, signed by it, a
// broker's certificate for localhost and 127.0.0.1 (broker.pem, broker.key), one for another
// host name only (elsewhere.pem, elsewhere.key) and a client's (client.pem, client.key); and a
// second CA nobody trusts (stranger-ca.pem) with a client certificate of its own (stranger.pem,
// stranger.key). Throws std::runtime_error with openssl's message when it fails.
void MakeCertificates(const std::string& folder);

// A broker's password file (mosquitto_passwd) with one user.
void MakePasswordFile(const std::string& path, const std::string& user,
                      const std::string& password);

// A number field of a one-line JSON object ("seq", "id"); -1 when missing.
long long JsonNumber(const std::string& json, const std::string& key);
// A string field without escapes; empty when missing.
std::string JsonText(const std::string& json, const std::string& key);
// Waits until pred holds (checked every 20 ms) or timeout; returns pred().
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace kelta::test
