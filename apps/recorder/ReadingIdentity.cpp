#include "apps/recorder/ReadingIdentity.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <system_error>

#include "apps/recorder/StateFile.h"

namespace kelta::record {

namespace {

constexpr char kIdFile[] = "recorder-id";
constexpr char kIdTemp[] = "recorder-id.new";
constexpr char kSequenceFile[] = "sequence";
constexpr char kSequenceTemp[] = "sequence.new";
constexpr size_t kIdBytes = 16;
// Far more than a line per sensor ever needs; a longer file is a damaged one.
constexpr size_t kMaxFile = 64 * 1024;

bool IsId(const std::string& text) {
  return text.size() == 2 * kIdBytes &&
         text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// "recorder-id" holds the id and a line end.
std::optional<std::string> ParseId(const std::string& text) {
  const std::string id = text.ends_with('\n') ? text.substr(0, text.size() - 1) : text;
  if (!IsId(id)) return std::nullopt;
  return id;
}

// A decimal number of the whole text, within [low, high].
std::optional<long long> Number(const std::string& text, long long low, long long high) {
  if (text.empty() || text.size() > 19 ||
      text.find_first_not_of("-0123456789") != std::string::npos) {
    return std::nullopt;
  }
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

struct Sequence {
  std::string id;
  std::map<int, uint64_t> bounds;
};

std::optional<Sequence> ParseSequence(const std::string& text) {
  if (text.size() > kMaxFile || !text.ends_with('\n')) return std::nullopt;
  std::istringstream lines(text);
  std::string line;
  Sequence sequence;
  if (!std::getline(lines, line) || !line.starts_with("recorder ")) return std::nullopt;
  sequence.id = line.substr(9);
  if (!IsId(sequence.id)) return std::nullopt;
  while (std::getline(lines, line)) {
    const size_t space = line.find(' ');
    if (space == std::string::npos) return std::nullopt;
    const auto sensor = Number(line.substr(0, space), -2147483647 - 1, 2147483647);
    const auto next = Number(line.substr(space + 1), 1, (1LL << 62));
    if (!sensor || !next || sequence.bounds.count(static_cast<int>(*sensor)) != 0) {
      return std::nullopt;
    }
    sequence.bounds[static_cast<int>(*sensor)] = static_cast<uint64_t>(*next);
  }
  return sequence;
}

std::string RandomId() {
  unsigned char bytes[kIdBytes];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::system_error(errno, std::generic_category(), "no random bytes");
    got += static_cast<size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (const unsigned char b : bytes) {
    id += kHex[b >> 4];
    id += kHex[b & 15];
  }
  return id;
}

}  // namespace

ReadingIdentity::ReadingIdentity(const std::string& folder,
                                 std::function<void(const std::string&)> report)
    : folder_(folder), report_(std::move(report)) {
  const std::string where = folder_.Path();
  const std::optional<std::string> idText = ReadStateFile(folder_, kIdFile, kMaxFile);
  const std::optional<std::string> sequenceText = ReadStateFile(folder_, kSequenceFile, kMaxFile);
  if (!idText && !sequenceText) {
    MakeNewId("");
    return;
  }
  const std::optional<std::string> id = idText ? ParseId(*idText) : std::nullopt;
  if (!id) {
    MakeNewId(where + kIdFile + (idText ? " is damaged" : " is missing"));
    return;
  }
  if (!sequenceText) {
    MakeNewId("the sequence numbers of recorder " + *id + " are not known (" + where +
              kSequenceFile + " is missing)");
    return;
  }
  const std::optional<Sequence> sequence = ParseSequence(*sequenceText);
  if (!sequence) {
    MakeNewId("the sequence numbers of recorder " + *id + " are not known (" + where +
              kSequenceFile + " is damaged)");
    return;
  }
  if (sequence->id != *id) {
    MakeNewId(where + kSequenceFile + " holds the numbers of recorder " + sequence->id +
              ", not of " + *id);
    return;
  }
  id_ = *id;
  reserved_ = sequence->bounds;
  next_ = sequence->bounds;
}

void ReadingIdentity::MakeNewId(const std::string& why) {
  id_ = RandomId();
  next_.clear();
  reserved_.clear();
  // The numbers first: a crash before the id is written leaves them of another id, which the
  // next run does not take.
  int err = Save(reserved_);
  if (err == 0) err = ReplaceStateFile(folder_, kIdFile, kIdTemp, id_ + "\n");
  if (err != 0) {
    report_("cannot keep the recorder id in " + folder_.Path() + " (" + std::strerror(err) +
            "): this run is recorder " + id_ + ", the next one will have another id");
    unlinkat(folder_.Fd(), kSequenceFile, 0);
  }
  if (!why.empty()) {
    report_(why + ": recording as the new recorder " + id_ +
            ", so that no reading is ever named twice");
  }
}

int ReadingIdentity::Save(const std::map<int, uint64_t>& bounds) {
  std::string text = "recorder " + id_ + "\n";
  for (const auto& [sensor, next] : bounds) {
    text += std::to_string(sensor) + " " + std::to_string(next) + "\n";
  }
  return ReplaceStateFile(folder_, kSequenceFile, kSequenceTemp, text);
}

uint64_t ReadingIdentity::Next(int sensor) {
  uint64_t& next = next_[sensor];
  if (next == 0) next = 1;
  const uint64_t number = next++;
  const auto reserved = reserved_.find(sensor);
  if (reserved != reserved_.end() && number < reserved->second) return number;
  // Reserved on the disk before it is handed out: a run killed from here on starts past it.
  std::map<int, uint64_t> bounds = reserved_;
  bounds[sensor] = number + kBlock;
  if (const int err = Save(bounds); err != 0) {
    // The last reservation on the disk may lie below this number now: without it, the next
    // run takes a new id rather than give a number twice (a removal works on a full disk).
    unlinkat(folder_.Fd(), kSequenceFile, 0);
    if (!saveFailed_) {
      report_("cannot reserve sequence numbers in " + folder_.Path() + kSequenceFile + " (" +
              std::strerror(err) +
              "): readings are numbered on, and unless a later reservation succeeds the next "
              "run takes a new recorder id");
    }
    saveFailed_ = true;
    return number;
  }
  if (saveFailed_)
    report_("sequence numbers reserved in " + folder_.Path() + kSequenceFile + " again");
  saveFailed_ = false;
  reserved_ = std::move(bounds);
  return number;
}

void ReadingIdentity::Finish() {
  // Exactly what comes next: numbers reserved but not handed out are given next time.
  std::map<int, uint64_t> bounds = reserved_;
  for (const auto& [sensor, next] : next_) bounds[sensor] = next;
  if (bounds == reserved_) return;
  if (const int err = Save(bounds); err != 0) {
    report_("cannot keep the next sequence numbers in " + folder_.Path() + kSequenceFile + " (" +
            std::strerror(err) + "): the next run starts past the reserved ones");
    if (saveFailed_) unlinkat(folder_.Fd(), kSequenceFile, 0);
    return;
  }
  reserved_ = std::move(bounds);
}

}  // namespace kelta::record
