#include "tests/apps/recorder/LiveBroker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "tests/support/Files.h"
#include "tests/support/RunTool.h"

extern char** environ;

namespace kelta::test {

namespace {

using namespace std::chrono_literals;

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::system_error(errno, std::generic_category(), "no free loopback port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

// mosquitto started by root changes to the user "mosquitto", who could not write its state
// into the test's folder; told to be the user it is, it stays that.
std::string CurrentUser() {
  const passwd* user = getpwuid(getuid());
  return user != nullptr ? user->pw_name : "root";
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

bool PortAnswers(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::string& outPath,
             const std::string& errPath) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  // The test's own blocked signals must not reach the program blocked.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  const int err = posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (err != 0) throw std::system_error(err, std::generic_category(), "cannot start " + argv[0]);
}

Child::~Child() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void Child::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

int Child::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  int status = 0;
  const bool ended = WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
  if (!ended) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
  }
  pid_ = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

LiveBroker::LiveBroker(const std::string& folder, const std::optional<BrokerSecurity>& security)
    : folder_(folder), port_(FreeLoopbackPort()) {
  // Loopback only; anonymous clients; the state saved on the way out, to the folder.
  std::string config = "user " + CurrentUser() + "\npersistence true\npersistence_location " +
                       folder_ + "\nmax_queued_messages 0\n";
  if (security) config += "per_listener_settings true\n";
  config += "listener " + std::to_string(port_) + " 127.0.0.1\nallow_anonymous true\n";
  if (security) {
    securePort_ = FreeLoopbackPort();
    config += "listener " + std::to_string(securePort_) + " 127.0.0.1\n";
    if (!security->certFile.empty()) {
      config += "cafile " + security->caFile + "\ncertfile " + security->certFile + "\nkeyfile " +
                security->keyFile + "\n";
    }
    if (security->requireCertificate) config += "require_certificate true\n";
    if (security->passwordFile.empty()) {
      config += "allow_anonymous true\n";
    } else {
      config += "allow_anonymous false\npassword_file " + security->passwordFile + "\n";
    }
  }
  WriteFile(folder_ + "mosquitto.conf", config);
}

LiveBroker::~LiveBroker() { Stop(); }

void LiveBroker::Start() {
  if (child_) return;
  child_ = new Child({KELTA_MOSQUITTO, "-c", folder_ + "mosquitto.conf"}, folder_ + "broker.out",
                     folder_ + "broker.err");
  if (!WaitUntil(
          [&] { return PortAnswers(port_) && (securePort_ == 0 || PortAnswers(securePort_)); },
          20s)) {
    throw std::runtime_error("the broker did not start: " + ReadFile(folder_ + "broker.err"));
  }
}

void LiveBroker::Stop() {
  if (!child_) return;
  child_->Signal(SIGTERM);
  child_->Wait();
  delete child_;
  child_ = nullptr;
}

BrokerLink::BrokerLink(int brokerPort) : brokerPort_(brokerPort) {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof address;
  // A listening queue of one: Blackhole fills it with a single connection.
  if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listenFd_, 0) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
      pipe2(wake_, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot make the relay");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Relay(); });
}

BrokerLink::~BrokerLink() {
  {
    std::lock_guard lock(lock_);
    stop_ = true;
  }
  (void)!write(wake_[1], "x", 1);
  thread_.join();
  for (const int fd : fillers_) close(fd);
  close(listenFd_);
  close(wake_[0]);
  close(wake_[1]);
}

void BrokerLink::Freeze() {
  {
    std::lock_guard lock(lock_);
    freeze_ = true;
  }
  (void)!write(wake_[1], "x", 1);
}

void BrokerLink::MuteAnswers() {
  {
    std::lock_guard lock(lock_);
    mute_ = true;
  }
  (void)!write(wake_[1], "x", 1);
}

void BrokerLink::Blackhole() {
  {
    std::lock_guard lock(lock_);
    freeze_ = true;
    blackhole_ = true;
  }
  (void)!write(wake_[1], "x", 1);
  // Connections the relay never accepts fill its queue; later ones get no answer.
  for (int i = 0; i < 2; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port_);
    connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    fillers_.push_back(fd);
  }
}

void BrokerLink::Relay() {
  // Each carried connection: the client's end and the broker's; frozen ones stay open unread.
  std::vector<std::array<int, 2>> live, frozen, muted;
  std::array<char, 16384> buffer{};
  for (;;) {
    bool blackhole = false;
    {
      std::lock_guard lock(lock_);
      if (stop_) break;
      if (freeze_) {
        frozen.insert(frozen.end(), live.begin(), live.end());
        live.clear();
        freeze_ = false;
      }
      if (mute_) {
        muted.insert(muted.end(), live.begin(), live.end());
        live.clear();
        mute_ = false;
      }
      blackhole = blackhole_;
    }
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {blackhole ? -1 : listenFd_, POLLIN, 0}};
    for (const auto* carried : {&live, &muted}) {
      for (const auto& pair : *carried) {
        fds.push_back({pair[0], POLLIN, 0});
        fds.push_back({pair[1], POLLIN, 0});
      }
    }
    if (poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents != 0) {
      char drop[16];
      (void)!read(wake_[0], drop, sizeof drop);
    }
    // Bytes pass on (a muted connection's from the broker are dropped); a connection closed at
    // either end is closed at the other.
    size_t at = 2;  // the pair's first descriptor among those polled
    for (auto* carried : {&live, &muted}) {
      std::vector<std::array<int, 2>> still;
      for (const auto& pair : *carried) {
        bool open = true;
        for (size_t side = 0; side < 2 && open; ++side) {
          if (fds[at + side].revents == 0) continue;
          const ssize_t n = read(pair[side], buffer.data(), buffer.size());
          open = n > 0 && ((side == 1 && carried == &muted) ||
                           write(pair[1 - side], buffer.data(), static_cast<size_t>(n)) == n);
        }
        at += 2;
        if (open) {
          still.push_back(pair);
        } else {
          close(pair[0]);
          close(pair[1]);
        }
      }
      *carried = std::move(still);
    }
    // A new connection joins those polled next time.
    if (fds[1].revents != 0) {
      const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      const int broker = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      const sockaddr_in address = Loopback(brokerPort_);
      if (client >= 0 && broker >= 0 &&
          connect(broker, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        live.push_back({client, broker});
      } else {
        if (client >= 0) close(client);
        if (broker >= 0) close(broker);
      }
    }
  }
  for (const auto& pair : live) {
    close(pair[0]);
    close(pair[1]);
  }
  for (const auto* closing : {&frozen, &muted}) {
    for (const auto& pair : *closing) {
      close(pair[0]);
      close(pair[1]);
    }
  }
}

Subscriber::Subscriber(int port, const std::string& pattern) : pattern_(pattern) {
  mosquitto_lib_init();
  const std::string id = "kelta-test-" + std::to_string(getpid()) + "-" + std::to_string(port);
  mosq_ = mosquitto_new(id.c_str(), false, this);
  mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
  mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* user, int rc) {
    if (rc == 0) {
      mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(user)->pattern_.c_str(), 1);
    }
  });
  mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* user, int, int, const int*) {
    auto* self = static_cast<Subscriber*>(user);
    std::lock_guard lock(self->lock_);
    self->subscribed_ = true;
  });
  mosquitto_message_callback_set(
      mosq_, [](mosquitto*, void* user, const mosquitto_message* message) {
        auto* self = static_cast<Subscriber*>(user);
        std::lock_guard lock(self->lock_);
        self->messages_.push_back(Message{message->topic,
                                          std::string(static_cast<const char*>(message->payload),
                                                      static_cast<size_t>(message->payloadlen)),
                                          message->retain});
      });
  mosquitto_connect_async(mosq_, "127.0.0.1", port, 10);
  mosquitto_loop_start(mosq_);
  if (!WaitUntil(
          [&] {
            std::lock_guard lock(lock_);
            return subscribed_;
          },
          20s)) {
    throw std::runtime_error("the subscriber could not subscribe");
  }
}

Subscriber::~Subscriber() {
  mosquitto_disconnect(mosq_);
  // Not forced: a cancelled network thread would leave the library's locks held.
  mosquitto_loop_stop(mosq_, false);
  mosquitto_destroy(mosq_);
}

std::vector<Message> Subscriber::Messages() const {
  std::lock_guard lock(lock_);
  return messages_;
}

bool Subscriber::WaitFor(const std::function<bool(const std::vector<Message>&)>& cond,
                         std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return cond(Messages()); }, timeout);
}

void MakeCertificates(const std::string& folder) {
  const auto run = [&](const std::string& arguments) {
    const ToolRun made = RunTool("cd " + ShellQuote(folder) + " && " KELTA_OPENSSL " " + arguments);
    if (made.exitCode != 0) throw std::runtime_error("openssl " + arguments + ": " + made.err);
  };
  const std::string newKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
  const auto ca = [&](const std::string& name, const std::string& subject) {
    run("req -x509 " + newKey + " -keyout " + name + ".key -out " + name +
        ".pem -subj '/CN=" + subject + "'");
  };
  // A certificate signed by ca for the subject, with the given subjectAltName (or none).
  const auto sign = [&](const std::string& name, const std::string& ca, const std::string& names) {
    run("req " + newKey + " -keyout " + name + ".key -out " + name + ".csr -subj '/CN=" + name +
        "'");
    std::string extensions;
    if (!names.empty()) {
      WriteFile(folder + name + ".ext", "subjectAltName=" + names + "\n");
      extensions = " -extfile " + name + ".ext";
    }
    run("x509 -req -in " + name + ".csr -CA " + ca + ".pem -CAkey " + ca + ".key -CAcreateserial" +
        " -days 2 -out " + name + ".pem" + extensions);
  };
  ca("ca", "kelta test CA");
  ca("stranger-ca", "kelta stranger CA");
  sign("broker", "ca", "DNS:localhost,IP:127.0.0.1");
  sign("elsewhere", "ca", "DNS:elsewhere.invalid");
  sign("client", "ca", "");
  sign("stranger", "stranger-ca", "");
}

void MakePasswordFile(const std::string& path, const std::string& user,
                      const std::string& password) {
  const ToolRun made = RunTool(KELTA_MOSQUITTO_PASSWD " -c -b " + ShellQuote(path) + " " +
                               ShellQuote(user) + " " + ShellQuote(password));
  if (made.exitCode != 0) throw std::runtime_error("mosquitto_passwd: " + made.err + made.out);
}

long long JsonNumber(const std::string& json, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const size_t at = json.find(tag);
  if (at == std::string::npos) return -1;
  return std::stoll(json.substr(at + tag.size()));
}

std::string JsonText(const std::string& json, const std::string& key) {
  const std::string tag = "\"" + key + "\":\"";
  const size_t at = json.find(tag);
  if (at == std::string::npos) return {};
  const size_t from = at + tag.size();
  return json.substr(from, json.find('"', from) - from);
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

}  // namespace kelta::test
