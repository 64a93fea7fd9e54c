#pragma once
// The command line of kelta-record. Pure parsing, safe on any thread.

#include <cstdint>
#include <string>
#include <vector>

namespace kelta::record {

struct RecordOptions {
  std::string port;       // "COMn" or a device path
  std::string exeDir;     // where "ports/comN" links are looked up; empty: the program's folder
  std::vector<int> ids;   // bus mode when not empty
  int intervalMs = 1000;  // bus mode: a round of polls starts this often
  int intervalGivenMs = 1000;  // as given; intervalMs is stretched to fit the IDs' reply windows
  int replyMs = 200;           // bus mode: how long one ID may take to answer
  std::string csvPath;         // a file, or a folder for files by port, date, time and sensor
  uint64_t csvMaxBytes = 0;    // --csv FOLDER: a sensor's next file before this size; 0: none
  bool stdoutJson = false;
  std::string mqttHost;  // empty: no MQTT
  int mqttPort = 1883;   // 8883 with TLS when --mqtt names no port
  bool mqttPortGiven = false;
  // TLS to the broker (any of the options below turns it on). Neither caFile nor caPath: the
  // system's CA store.
  bool tls = false;
  std::string caFile;
  std::string caPath;
  std::string certFile;  // with keyFile: the recorder's own certificate
  std::string keyFile;
  bool tlsInsecure = false;  // the broker's certificate not checked at all
  std::string username;
  std::string passwordFile;  // else the password from KELTA_MQTT_PASSWORD, if set
  std::string topic = "kelta";
  std::string name;         // the recorder's name in its topics; default: host name and port
  std::string queueFolder;  // the state folder; default: DefaultStateFolder(name)
  uint64_t queueMax = 100000;
  int keepAliveSeconds = 10;  // MQTT: a broker silent for about twice this is given up
  int heartbeatSeconds = 30;  // MQTT: PREFIX/NAME/heartbeat this often
  // MQTT as a Sparkplug B edge node in this group; the JSON topics then only with json.
  std::string sparkplugGroup;
  bool json = false;
  bool help = false;
};

// args without the program name. Throws std::invalid_argument naming the option at fault.
RecordOptions ParseRecordOptions(const std::vector<std::string>& args);

std::string RecordUsage();

// What the start says when --interval was stretched to fit the IDs' reply windows, else "".
std::string IntervalNotice(const RecordOptions& options);

inline constexpr int kMaxIntervalMs = 3'600'000;

// Exit codes a service manager can act on (those of sysexits.h).
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 64;         // a bad argument: restarting will not help
inline constexpr int kExitUnavailable = 69;   // the port cannot be opened at the start
inline constexpr int kExitSoftware = 70;      // an unexpected failure
inline constexpr int kExitCantCreate = 73;    // the CSV file or the queue folder
inline constexpr int kExitIoError = 74;       // writing the CSV file failed
inline constexpr int kExitNoPermission = 77;  // the broker refused the credentials or certificate

}  // namespace kelta::record
