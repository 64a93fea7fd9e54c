#include "tests/recorder/LiveBroker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <system_error>
#include <thread>

#include "tests/support/Files.h"

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

LiveBroker::LiveBroker(const std::string& folder) : folder_(folder), port_(FreeLoopbackPort()) {
  // Loopback only; anonymous clients; the state saved on the way out, to the folder.
  WriteFile(folder_ + "mosquitto.conf", "listener " + std::to_string(port_) + " 127.0.0.1\n" +
                                            "allow_anonymous true\n"
                                            "user " +
                                            CurrentUser() + "\n" +
                                            "persistence true\n"
                                            "persistence_location " +
                                            folder_ + "\nmax_queued_messages 0\n");
}

LiveBroker::~LiveBroker() { Stop(); }

void LiveBroker::Start() {
  if (child_) return;
  child_ = new Child({KELTA_MOSQUITTO, "-c", folder_ + "mosquitto.conf"}, folder_ + "broker.out",
                     folder_ + "broker.err");
  if (!WaitUntil([&] { return PortAnswers(port_); }, 20s)) {
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
