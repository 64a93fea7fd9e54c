#include "apps/recorder/RecordOptions.h"

#include "apps/recorder/RecordSystem.h"
#include "base/OptionValues.h"

#include <cstdint>
#include <stdexcept>

namespace kelta::record {

namespace {

// A topic's length field has 16 bits; the recorder adds "/NAME/reading/ID" to the prefix.
constexpr size_t kTopicBytes = 65535;
// The name is also part of the queue folder's name (at most 255 bytes on common file
// systems) and of the MQTT client id.
constexpr size_t kNameBytes = 100;
constexpr size_t kTopicSuffixBytes = kNameBytes + 20;

// Well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF) without
// the characters a broker refuses in a topic: NUL, the other control characters and the
// non-characters U+FFFE and U+FFFF.
bool TopicText(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int more = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      code = lead & 0x07u;
    } else {
      return false;
    }
    if (static_cast<size_t>(more) > text.size() - 1 - i) return false;
    for (int k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if ((more == 2 && code < 0x800) || (more == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF) || code < 0x20 || (code >= 0x7F && code <= 0x9F) ||
        code == 0xFFFE || code == 0xFFFF) {
      return false;
    }
    i += 1 + static_cast<size_t>(more);
  }
  return true;
}

// Why text cannot be a topic prefix (or, with isName, the recorder's name); empty when it can.
std::string TopicFault(const std::string& text, bool isName) {
  if (text.empty()) return "must not be empty";
  const size_t limit = isName ? kNameBytes : kTopicBytes - kTopicSuffixBytes;
  if (text.size() > limit) {
    return "is " + std::to_string(text.size()) + " bytes long; at most " + std::to_string(limit);
  }
  if (!TopicText(text)) {
    return "is not valid UTF-8 text (or holds control characters, NUL included)";
  }
  if (text.find_first_of("#+") != std::string::npos) {
    return "must not hold the wildcards '#' and '+'";
  }
  if (isName && text.find('/') != std::string::npos) return "must not hold '/'";
  // Topics of the broker's own ($SYS/...) are not for clients to publish to.
  if (!isName && text.front() == '$') return "must not start with '$'";
  return {};
}

std::string OptionText(const std::string& option, const std::string& text, const char* what) {
  if (text.empty()) OptionError(option, std::string("needs ") + what);
  return text;
}

// The TLS and credential options go together with --mqtt and each other; TLS moves the
// default port to 8883, MQTT's port for TLS.
void CheckBrokerSecurity(RecordOptions& o) {
  const char* const securityOption = !o.username.empty()       ? "--username"
                                     : !o.passwordFile.empty() ? "--password-file"
                                     : o.tlsInsecure           ? "--tls-insecure"
                                     : !o.caFile.empty()       ? "--cafile"
                                     : !o.caPath.empty()       ? "--capath"
                                     : !o.certFile.empty()     ? "--cert"
                                     : !o.keyFile.empty()      ? "--key"
                                     : o.tls                   ? "--tls"
                                                               : nullptr;
  if (securityOption == nullptr) return;
  if (o.mqttHost.empty()) OptionError(securityOption, "needs --mqtt");
  if (!o.passwordFile.empty() && o.username.empty()) {
    OptionError("--password-file", "needs --username (MQTT sends no password without one)");
  }
  if (o.certFile.empty() != o.keyFile.empty()) {
    OptionError(o.certFile.empty() ? "--key" : "--cert", "needs --cert and --key together");
  }
  // The library takes a client certificate only beside a CA file or folder of its own.
  if (!o.certFile.empty() && o.caFile.empty() && o.caPath.empty()) {
    OptionError("--cert", "needs --cafile or --capath (the CA of the broker's certificate)");
  }
  if (o.tls && !o.mqttPortGiven) o.mqttPort = 8883;
}

}  // namespace

RecordOptions ParseRecordOptions(const std::vector<std::string>& args) {
  RecordOptions o;
  bool haveInterval = false;
  OptionReader reader(args);
  while (reader.Next()) {
    const std::string& option = reader.Name();
    if (option == "--help" || option == "-h") {
      o.help = true;
      reader.NoValue();
    } else if (option == "--stdout") {
      o.stdoutJson = true;
      reader.NoValue();
    } else if (option == "--port") {
      o.port = reader.Value();
    } else if (option == "--exe-dir") {
      o.exeDir = OptionFolder(option, reader.Value());
    } else if (option == "--ids") {
      o.ids = OptionIdList(option, reader.Value(), 77);
    } else if (option == "--interval") {
      o.intervalMs = static_cast<int>(OptionInteger(option, reader.Value(), 10, kMaxIntervalMs));
      haveInterval = true;
    } else if (option == "--reply-ms") {
      o.replyMs = static_cast<int>(OptionInteger(option, reader.Value(), 10, 60'000));
    } else if (option == "--csv") {
      o.csvPath = reader.Value();
      if (o.csvPath.empty()) OptionError(option, "needs a file or folder");
    } else if (option == "--mqtt") {
      const std::string text = reader.Value();
      const size_t colon = text.rfind(':');
      o.mqttHost = text.substr(0, colon);
      o.mqttPortGiven = colon != std::string::npos;
      if (o.mqttPortGiven) {
        o.mqttPort = static_cast<int>(OptionInteger(option, text.substr(colon + 1), 1, 65535));
      }
      if (o.mqttHost.empty()) OptionError(option, "needs HOST or HOST:PORT");
    } else if (option == "--topic") {
      o.topic = reader.Value();
      if (const std::string fault = TopicFault(o.topic, false); !fault.empty()) {
        OptionError(option, "the topic prefix " + fault);
      }
      while (o.topic.size() > 1 && o.topic.back() == '/') o.topic.pop_back();
    } else if (option == "--name") {
      o.name = reader.Value();
      if (const std::string fault = TopicFault(o.name, true); !fault.empty()) {
        OptionError(option, "the name " + fault);
      }
    } else if (option == "--queue-dir") {
      o.queueFolder = reader.Value();
      if (o.queueFolder.empty()) OptionError(option, "needs a folder");
    } else if (option == "--queue-max") {
      o.queueMax = static_cast<uint64_t>(OptionInteger(option, reader.Value(), 1, 100'000'000));
    } else if (option == "--sparkplug") {
      o.sparkplugGroup = OptionText(option, reader.Value(), "a group");
      if (const std::string fault = TopicFault(o.sparkplugGroup, true); !fault.empty()) {
        OptionError(option, "the group " + fault);
      }
    } else if (option == "--json") {
      o.json = true;
      reader.NoValue();
    } else if (option == "--heartbeat") {
      o.heartbeatSeconds = static_cast<int>(OptionInteger(option, reader.Value(), 1, 86400));
    } else if (option == "--csv-max-mb") {
      o.csvMaxBytes = static_cast<uint64_t>(OptionInteger(option, reader.Value(), 1, 1'000'000))
                      << 20;
    } else if (option == "--keepalive") {
      // The MQTT library takes no shorter keep-alive than 5 s.
      o.keepAliveSeconds = static_cast<int>(OptionInteger(option, reader.Value(), 5, 3600));
    } else if (option == "--tls") {
      o.tls = true;
      reader.NoValue();
    } else if (option == "--tls-insecure") {
      o.tls = o.tlsInsecure = true;
      reader.NoValue();
    } else if (option == "--cafile") {
      o.caFile = OptionText(option, reader.Value(), "a file");
      o.tls = true;
    } else if (option == "--capath") {
      o.caPath = OptionText(option, reader.Value(), "a folder");
      o.tls = true;
    } else if (option == "--cert") {
      o.certFile = OptionText(option, reader.Value(), "a file");
      o.tls = true;
    } else if (option == "--key") {
      o.keyFile = OptionText(option, reader.Value(), "a file");
      o.tls = true;
    } else if (option == "--username") {
      o.username = OptionText(option, reader.Value(), "a user name");
    } else if (option == "--password-file") {
      o.passwordFile = OptionText(option, reader.Value(), "a file");
    } else if (option == "--password") {
      OptionError(option,
                  "not taken on the command line, where every user of the machine can "
                  "read it (ps); give --password-file FILE or the environment variable "
                  "KELTA_MQTT_PASSWORD");
    } else if (!option.starts_with("-") && o.port.empty()) {
      o.port = option;
      reader.NoValue();
      if (reader.HasInlineValue()) OptionError(option, "is not a port name");
    } else {
      OptionError(option, o.port.empty() || option.starts_with("-") ? "unknown option (see --help)"
                                                                    : "a second port");
    }
  }
  if (o.help) return o;
  CheckBrokerSecurity(o);
  if (o.port.empty()) throw std::invalid_argument("no port given (COMn or a device path)");
  if (o.csvPath.empty() && o.mqttHost.empty() && !o.stdoutJson) {
    throw std::invalid_argument("no output: give --csv, --mqtt or --stdout");
  }
  if (haveInterval && o.ids.empty()) throw std::invalid_argument("--interval: needs --ids");
  if (!o.sparkplugGroup.empty() && o.mqttHost.empty()) {
    throw std::invalid_argument("--sparkplug: needs --mqtt");
  }
  if (o.json && o.sparkplugGroup.empty()) {
    throw std::invalid_argument("--json: needs --sparkplug (JSON is the default otherwise)");
  }
  if (o.csvMaxBytes > 0 && o.csvPath.empty()) {
    throw std::invalid_argument("--csv-max-mb: needs --csv FOLDER");
  }
  o.intervalGivenMs = o.intervalMs;
  const long long round = o.replyMs * static_cast<long long>(o.ids.size());
  if (round > kMaxIntervalMs) {
    throw std::invalid_argument("--reply-ms: " + std::to_string(o.ids.size()) + " IDs of " +
                                std::to_string(o.replyMs) + " ms make a round of " +
                                std::to_string(round) + " ms, longer than the longest " +
                                "--interval (" + std::to_string(kMaxIntervalMs) + " ms)");
  }
  if (!o.ids.empty() && round > o.intervalMs) {
    // A round must fit its interval, or the rounds would drift apart from it.
    o.intervalMs = static_cast<int>(round);
  }
  return o;
}

std::string IntervalNotice(const RecordOptions& o) {
  if (o.ids.empty() || o.intervalMs == o.intervalGivenMs) return {};
  return "--interval " + std::to_string(o.intervalGivenMs) + " is too short for " +
         std::to_string(o.ids.size()) + " IDs of --reply-ms " + std::to_string(o.replyMs) +
         ": polling every " + std::to_string(o.intervalMs) + " ms";
}

std::string RecordUsage() {
  return R"(Usage: kelta-record PORT [options]
Records a KELTA angle sensor (or a bus of them) without a window, into a CSV file, an MQTT
broker and/or standard output. Runs until SIGTERM or SIGINT (on Windows: Ctrl+C, Ctrl+Break
or closing its console), then flushes everything and ends with status 0.

PORT is COMn (as the console names it: a ports/comN link beside the program, or in the
user's data folder when the program is installed where it cannot write, else the system's
default device for n) or, on Linux, a device path such as /dev/ttyUSB0.
  --exe-dir DIR      folder whose ports/comN links name the devices (default: the program's)

Modes:
  (default)          continuous: "#INFO" once (ID, mode and ranges go into every record),
                     then "#READ", and every frame is recorded
  --ids A,B,...      bus: the ID poll (0xB0+ID, ENQ) for each ID in turn; each answer is
                     recorded under its ID; an ID silent for --reply-ms is counted and
                     reported and the next one is polled
  --interval MS      bus: a round of polls starts every MS ms (default 1000; at least
                     --reply-ms times the number of IDs: a shorter one is stretched and
                     the start says so; a round that must wait for the line to go quiet
                     after a silent or late ID runs over, and that is reported too)
  --reply-ms MS      bus: how long one ID may take to answer (default 200); a frame that
                     comes outside every reply window (a late answer, a sensor talking
                     unasked) is counted as unsolicited and never recorded

Outputs (at least one):
  --csv PATH         the console's CSV format; PATH is a new file, or a folder in which
                     each sensor gets its files, kelta-<port>-<date>-<time>-id<ID>.csv
                     (date and time of its first row), a new one from the first reading
                     of each local day; a row is never split between files
  --csv-max-mb N     --csv FOLDER: a sensor's next file also before a row that would take
                     its file past N MiB
  --mqtt HOST[:PORT] one JSON message per reading, QoS 1, to PREFIX/NAME/reading/ID
                     (default port 1883; not in the Windows build); PREFIX/NAME/status
                     is "online" or "offline" (retained, also the last will);
                     PREFIX/NAME/counters (retained JSON) counts readings, dropped
                     messages, dropped frames (block check failed or
                     text no number), silent polls, unsolicited frames,
                     lost devices and streams fallen silent (fell_silent);
                     PREFIX/NAME/state (retained JSON): the device "present" or "lost"
                     and each sensor "streaming", "silent" or "device lost";
                     PREFIX/NAME/heartbeat (JSON): uptime, readings, queue depth
  --heartbeat S      a heartbeat every S seconds (1 to 86400, default 30)
  --sparkplug GROUP  with --mqtt: a Sparkplug B edge node instead of the JSON topics
                     (beside them with --json): the recorder is node NAME of GROUP, each
                     sensor its device PORT-ID (COM7-3, ttyUSB0-3); births with bdSeq
                     (kept in the state folder), data per reading (protobuf), a sensor's
                     death when it falls silent or its device is lost, the node's death as
                     the last will, a rebirth on "Node Control/Rebirth"; readings that
                     waited on disk go out after the birth, flagged historical (Linux only)
  --json             with --sparkplug: the JSON topics too
  --topic PREFIX     topic prefix (default kelta): UTF-8 without control characters,
                     '#' or '+', not starting with '$'
  --name NAME        the recorder's name in its topics (default: host name-port): UTF-8
                     without control characters, '/', '#' or '+', at most 100 bytes
  --queue-dir DIR    the state folder: where readings wait while the broker is away, and
                     the recorder's id and sequence numbers, which go on across restarts
                     (default: )" +
         std::string(DefaultStateFolderRule()) + R"(). One recorder at a
                     time uses it, a second one is refused; so is a folder another user
                     owns or may write in, a link, and a link or another user's file in it
  --queue-max N      at most N waiting readings; beyond, the oldest is dropped and counted
                     (default 100000)
  --keepalive S      a sign of life to the broker every S seconds (5 to 3600, default
                     10); a connection silent for about twice that is given up and
                     made anew

Broker security (with --mqtt):
  --tls              TLS 1.2 or newer to the broker, whose certificate must be signed by a
                     CA of the system's store and name the host given to --mqtt (default
                     port 8883 then)
  --cafile FILE      TLS, trusting only the CA certificates in FILE (PEM)
  --capath DIR       TLS, trusting only the CA certificates in DIR (as openssl rehash
                     leaves them)
  --cert FILE        with --key FILE: the recorder's own certificate and its private key
  --key FILE         (PEM), for a broker that requires one; needs --cafile or --capath
  --tls-insecure     TLS without checking the broker's certificate at all: anyone on the
                     way can pose as the broker and read everything. For trials only;
                     said as a warning at every start
  --username NAME    the user name given to the broker
  --password-file FILE
                     its password: the first line of FILE (which other users must not be
                     able to read); else the environment variable KELTA_MQTT_PASSWORD.
                     Never on the command line (--password is refused): every user of
                     the machine can read that
  A broker that refuses the user name, the password or the recorder's certificate, or whose
  certificate is not to be trusted, ends the recorder at once with status 77, saying why;
  an unreachable broker is retried.
  --stdout           one JSON object a line on standard output

A lost device is reported, waited for through the path it was opened by only (nothing
else is opened meanwhile), reopened when it is back, checked by its ID and recording
resumes. A sensor whose stream falls silent while its device stays open (no reading for
three times its recent interval, at least a second) is reported, counted and asked again
("#INFO", its ID checked, then "#READ"), less often the longer it stays silent (every
10 s at most). An unreachable broker is retried; the other outputs go on. SIGTERM
ends the program within 5 s whatever the network does; what the broker has not
acknowledged by then stays queued on disk for the next run.

Exit status: 0 after SIGTERM/SIGINT (Ctrl+C), 64 bad argument, 69 port not there or not to
be opened at the start (also when another program holds it), 70 unexpected failure, 73
CSV file or queue folder not to be made, or the queue folder in use by another recorder
or not safe (another user's, open to others' writing, a link),
74 writing the CSV file failed, 77 the broker refused the credentials or the certificate (or
its certificate is not to be trusted).
  --help, -h         this text
)";
}

}  // namespace kelta::record
