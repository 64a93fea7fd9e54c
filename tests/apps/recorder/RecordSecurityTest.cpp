// kelta-record against a secured broker: TLS with certificates the test makes, user names and
// passwords, client certificates; what the broker refuses ends the recorder at once with 77,
// what is merely away is retried. Also the options and the password file on their own.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "apps/recorder/RecordOptions.h"
#include "apps/recorder/SecretFile.h"
#include "base/ExecutableDir.h"
#include "tests/apps/recorder/LiveBroker.h"
#include "tests/support/Fifo.h"
#include "tests/support/Files.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace kelta::test {
namespace {

using namespace std::chrono_literals;
using record::ParseRecordOptions;

constexpr char kPassword[] = "s3cret with spaces";

class SecureRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeCertificates(dir_.Path());
    MakePasswordFile(dir_.File("passwd"), "kelta", kPassword);
    WriteSecret("password", std::string(kPassword) + "\n");
    WriteSecret("wrong-password", "guessed\n");
    sim_ = std::make_unique<Child>(
        std::vector<std::string>{Bin("kelta-sim"), "--com", "4", "--exe-dir", dir_.Path(),
                                 "--force", "--rate", "50"},
        dir_.File("sim.out"), dir_.File("sim.err"));
    ASSERT_TRUE(WaitUntil([&] {
      return ReadFile(dir_.File("sim.out")).find("COM4") != std::string::npos;
    })) << ReadFile(dir_.File("sim.err"));
  }
  static std::string Bin(const std::string& name) { return ExecutableDir() + name; }
  void WriteSecret(const std::string& name, const std::string& text) {
    WriteFile(dir_.File(name), text);
    ASSERT_EQ(chmod(dir_.File(name).c_str(), 0600), 0);
  }
  // The broker's files in a folder of their own, so that a test may run two.
  LiveBroker& Broker(BrokerSecurity security, const std::string& folder = "broker") {
    for (std::string* file : {&security.caFile, &security.certFile, &security.keyFile}) {
      if (!file->empty()) *file = dir_.File(*file);
    }
    mkdir(dir_.File(folder).c_str(), 0700);
    brokers_.push_back(std::make_unique<LiveBroker>(dir_.File(folder + "/"), security));
    return *brokers_.back();
  }
  // The recorder with environ plus env (through env(1)), its output and errors anew.
  void StartRecorder(const std::vector<std::string>& args,
                     const std::vector<std::string>& env = {}) {
    WriteFile(dir_.File("rec.out"), "");
    WriteFile(dir_.File("rec.err"), "");
    std::vector<std::string> argv = {"/usr/bin/env"};
    argv.insert(argv.end(), env.begin(), env.end());
    for (const std::string& a :
         {Bin("kelta-record"), std::string("COM4"), std::string("--exe-dir"), dir_.Path(),
          std::string("--stdout"), std::string("--name"), std::string("rig"),
          std::string("--queue-dir"), dir_.File("queue")}) {
      argv.push_back(a);
    }
    argv.insert(argv.end(), args.begin(), args.end());
    recorder_ = std::make_unique<Child>(argv, dir_.File("rec.out"), dir_.File("rec.err"));
  }
  std::string Errors() const { return ReadFile(dir_.File("rec.err")); }
  // Runs until the broker has some readings, then every one printed must have reached it.
  void ExpectDelivered(const Subscriber& subscriber) {
    const auto readings = [](const std::vector<Message>& messages) {
      std::set<std::string> payloads;
      for (const Message& m : messages) {
        if (m.topic == "kelta/rig/reading/1") payloads.insert(m.payload);
      }
      return payloads;
    };
    const size_t before = readings(subscriber.Messages()).size();
    ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
      return readings(m).size() >= before + 10;
    })) << Errors();
    recorder_->Signal(SIGTERM);
    EXPECT_EQ(recorder_->Wait(), 0) << Errors();
    std::vector<std::string> printed;
    for (const std::string& line : Lines(ReadFile(dir_.File("rec.out")))) printed.push_back(line);
    ASSERT_FALSE(printed.empty());
    EXPECT_TRUE(subscriber.WaitFor([&](const auto& m) {
      const std::set<std::string> got = readings(m);
      for (const std::string& line : printed) {
        if (got.count(line) == 0) return false;
      }
      return true;
    })) << printed.back();
  }
  // The recorder ends by itself with 77, saying why, without trying the broker again.
  void ExpectRefused(const std::string& why) {
    EXPECT_EQ(recorder_->Wait(), 77) << Errors();
    EXPECT_NE(Errors().find(why), std::string::npos) << Errors();
    EXPECT_NE(Errors().find("not tried again"), std::string::npos) << Errors();
    EXPECT_EQ(Errors().find("retrying"), std::string::npos) << Errors();
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
      lines.push_back(text.substr(from, end - from));
    }
    return lines;
  }

  TempDir dir_;
  std::unique_ptr<Child> sim_;
  std::vector<std::unique_ptr<LiveBroker>> brokers_;
  std::unique_ptr<Child> recorder_;
};

// TLS and a password: the test's CA given with --cafile and the password from its file; then
// the system's CA store (which SSL_CERT_FILE stands for) and the password from the environment.
TEST_F(SecureRecordTest, TlsWithAPasswordDeliversEveryReading) {
  LiveBroker& broker = Broker({"ca.pem", "broker.pem", "broker.key", false, dir_.File("passwd")});
  broker.Start();
  Subscriber subscriber(broker.Port(), "kelta/#");
  StartRecorder({"--mqtt", broker.SecureAddress(), "--cafile", dir_.File("ca.pem"), "--username",
                 "kelta", "--password-file", dir_.File("password")});
  ExpectDelivered(subscriber);
  EXPECT_NE(Errors().find("connected (TLS)"), std::string::npos) << Errors();

  StartRecorder(
      {"--mqtt", broker.SecureAddress(), "--tls", "--username", "kelta"},
      {"SSL_CERT_FILE=" + dir_.File("ca.pem"), "KELTA_MQTT_PASSWORD=" + std::string(kPassword)});
  ExpectDelivered(subscriber);
}

// A wrong password, or none, is the broker's answer, not a network's: 77 after one try.
TEST_F(SecureRecordTest, RefusedCredentialsEndTheRecorderAtOnce) {
  LiveBroker& broker = Broker({"", "", "", false, dir_.File("passwd")});
  broker.Start();
  StartRecorder({"--mqtt", broker.SecureAddress(), "--username", "kelta", "--password-file",
                 dir_.File("wrong-password")});
  ExpectRefused("refused the user name kelta or its password (Connection Refused: not authorised");
  StartRecorder({"--mqtt", broker.SecureAddress()});
  ExpectRefused("refused a client without a user name");
  broker.Stop();
  EXPECT_EQ(CountOf(ReadFile(dir_.File("broker/broker.err")), "not authorised"), 2u)
      << ReadFile(dir_.File("broker/broker.err"));

  // A password file everyone may read is refused before anything is sent.
  ASSERT_EQ(chmod(dir_.File("password").c_str(), 0644), 0);
  StartRecorder({"--mqtt", broker.SecureAddress(), "--username", "kelta", "--password-file",
                 dir_.File("password")});
  EXPECT_EQ(recorder_->Wait(), 64) << Errors();
  EXPECT_NE(Errors().find("other users may read or change it (mode 0644)"), std::string::npos)
      << Errors();
}

// A broker whose certificate is signed by a CA not trusted, or made out to another host name,
// is not talked to (77); with --tls-insecure it is, after a warning.
TEST_F(SecureRecordTest, ABrokerCertificateNotToBeTrustedEndsTheRecorder) {
  LiveBroker& broker = Broker({"ca.pem", "broker.pem", "broker.key", false, ""});
  broker.Start();
  StartRecorder({"--mqtt", broker.SecureAddress(), "--cafile", dir_.File("stranger-ca.pem")});
  ExpectRefused("its certificate is not to be trusted");
  EXPECT_NE(Errors().find("certificate verify failed"), std::string::npos) << Errors();

  LiveBroker& elsewhere = Broker({"ca.pem", "elsewhere.pem", "elsewhere.key", false, ""}, "b2");
  elsewhere.Start();
  StartRecorder({"--mqtt", elsewhere.SecureAddress(), "--cafile", dir_.File("ca.pem")});
  ExpectRefused("not made out to the host name 127.0.0.1 (TLS: host name verification failed)");

  Subscriber subscriber(elsewhere.Port(), "kelta/#");
  StartRecorder({"--mqtt", elsewhere.SecureAddress(), "--tls-insecure"});
  ExpectDelivered(subscriber);
  EXPECT_NE(Errors().find("WARNING: --tls-insecure: the broker's certificate is NOT checked"),
            std::string::npos)
      << Errors();
}

// A broker that requires a client certificate takes the one its CA signed, and no other.
TEST_F(SecureRecordTest, AClientCertificateRequiredIsGivenOrTheRecorderEnds) {
  LiveBroker& broker = Broker({"ca.pem", "broker.pem", "broker.key", true, ""});
  broker.Start();
  Subscriber subscriber(broker.Port(), "kelta/#");
  const std::vector<std::string> tls = {"--mqtt", broker.SecureAddress(), "--cafile",
                                        dir_.File("ca.pem")};
  std::vector<std::string> args = tls;
  for (const char* a : {"--cert", "client.pem", "--key", "client.key"}) {
    args.push_back(a[0] == '-' ? a : dir_.File(a));
  }
  StartRecorder(args);
  ExpectDelivered(subscriber);

  StartRecorder(tls);
  EXPECT_EQ(recorder_->Wait(), 77) << Errors();
  EXPECT_NE(Errors().find("refused the recorder's certificate or wants one (--cert and --key)"),
            std::string::npos)
      << Errors();
  args = tls;
  for (const char* a : {"--cert", "stranger.pem", "--key", "stranger.key"}) {
    args.push_back(a[0] == '-' ? a : dir_.File(a));
  }
  StartRecorder(args);
  EXPECT_EQ(recorder_->Wait(), 77) << Errors();
  EXPECT_NE(Errors().find("refuse"), std::string::npos) << Errors();
}

// A TLS broker not there yet is retried as any other, and then gets every reading.
TEST_F(SecureRecordTest, AnUnreachableTlsBrokerIsRetried) {
  LiveBroker& broker = Broker({"ca.pem", "broker.pem", "broker.key", false, dir_.File("passwd")});
  StartRecorder({"--mqtt", broker.SecureAddress(), "--cafile", dir_.File("ca.pem"), "--username",
                 "kelta", "--password-file", dir_.File("password")});
  ASSERT_TRUE(WaitUntil([&] { return Errors().find("unreachable") != std::string::npos; }))
      << Errors();
  broker.Start();
  Subscriber subscriber(broker.Port(), "kelta/#");
  ExpectDelivered(subscriber);
}

TEST(RecordOptions, BrokerSecurityOptionsGoWithMqttAndThePasswordNeverOnTheCommandLine) {
  EXPECT_EQ(ParseRecordOptions({"COM1", "--mqtt", "h"}).mqttPort, 1883);
  const record::RecordOptions tls =
      ParseRecordOptions({"COM1", "--mqtt", "h", "--cafile", "ca.pem", "--cert", "c.pem", "--key",
                          "c.key", "--username", "u", "--password-file", "pw"});
  EXPECT_TRUE(tls.tls);
  EXPECT_EQ(tls.mqttPort, 8883);
  EXPECT_EQ(tls.caFile, "ca.pem");
  EXPECT_EQ(tls.certFile, "c.pem");
  EXPECT_EQ(tls.keyFile, "c.key");
  EXPECT_EQ(tls.username, "u");
  EXPECT_EQ(tls.passwordFile, "pw");
  EXPECT_EQ(ParseRecordOptions({"COM1", "--mqtt", "h:1883", "--tls"}).mqttPort, 1883);
  EXPECT_TRUE(ParseRecordOptions({"COM1", "--mqtt", "h", "--tls-insecure"}).tlsInsecure);

  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"COM1", "--mqtt", "h", "--username", "u", "--password", "x"},
       "--password: not taken on the command line"},
      {{"COM1", "--stdout", "--tls"}, "--tls: needs --mqtt"},
      {{"COM1", "--mqtt", "h", "--password-file", "pw"}, "--password-file: needs --username"},
      {{"COM1", "--mqtt", "h", "--cafile", "ca", "--cert", "c"}, "--cert: needs --cert and --key"},
      {{"COM1", "--mqtt", "h", "--cert", "c", "--key", "k"}, "--cert: needs --cafile or --capath"},
      {{"COM1", "--mqtt", "h", "--cafile="}, "--cafile: needs a file"},
  };
  for (const auto& [args, said] : bad) {
    try {
      ParseRecordOptions(args);
      ADD_FAILURE() << "accepted " << args.back();
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(said), std::string::npos) << e.what();
    }
  }
}

TEST(SecretFile, TheFirstLineOfAFileOnlyItsOwnerMayRead) {
  TempDir dir;
  const std::string path = dir.File("pw");
  const auto write = [&](const std::string& text, mode_t mode) {
    WriteFile(path, text);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  };
  write("top secret\r\nsecond line\n", 0600);
  EXPECT_EQ(record::ReadSecretFile(path), "top secret");
  write("no line end", 0640);
  EXPECT_EQ(record::ReadSecretFile(path), "no line end");
  MakeFifo(dir.File("fifo"));
  const std::vector<std::pair<std::string, std::string>> refused = {
      {dir.File("missing"), "No such file"},
      {dir.File("fifo"), "not a regular file (FIFO)"},
  };
  for (const auto& [file, said] : refused) {
    try {
      record::ReadSecretFile(file);
      ADD_FAILURE() << file;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(said), std::string::npos) << e.what();
    }
  }
  for (const auto& [text, mode, said] : std::vector<std::tuple<std::string, mode_t, std::string>>{
           {"readable\n", 0604, "other users may read or change it (mode 0604)"},
           {"\nsecond\n", 0600, "its first line is empty"},
           {std::string(70000, 'x'), 0600, "longer than 65535 bytes"}}) {
    write(text, mode);
    try {
      record::ReadSecretFile(path);
      ADD_FAILURE() << said;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(said), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace kelta::test
