#include "apps/recorder/DiskQueue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace kelta::record {

namespace {

// The consumed part is dropped once it is this large and more than half of the file, so a
// queue that is emptied as fast as it fills never grows, and the copying stays below one
// record's worth per record passing through.
constexpr uint64_t kCompactBytes = 1 << 20;
constexpr char kFileHeader[] = "\xF5KQUEUE\x02";
constexpr uint64_t kFileHeaderSize = sizeof kFileHeader - 1;
// 0xF5 is in no UTF-8 text, so neither topics nor payloads look like a record's start.
constexpr char kMarker[] = "\xF5KQR";
constexpr size_t kHeader = 20;
constexpr char kLive[] = "LIVE";
constexpr char kSent[] = "SENT";
constexpr char kDrop[] = "DROP";
// The earlier format: topic and payload lengths, the top bit of the topic's marking a dropped
// record; the first waiting record's place in queue.head.
constexpr size_t kEarlierHeader = 8;
constexpr uint32_t kEarlierDropped = 0x80000000u;
constexpr size_t kChunk = 64 * 1024;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

// CRC-32 (as zlib's crc32): Crc32(Crc32(0, a), b) is the CRC of a followed by b.
uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  uint32_t c = ~crc;
  for (size_t i = 0; i < size; ++i) c = kCrcTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  return ~c;
}

void PutLe(unsigned char* at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t GetLe(const unsigned char* at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
  return value;
}

// A record's header for the message bytes (topic, payload) that follow it in `record`.
void FillHeader(unsigned char* record, const char* state, uint32_t topicSize,
                uint32_t payloadSize) {
  std::memcpy(record, kMarker, 4);
  std::memcpy(record + 4, state, 4);
  PutLe(record + 8, topicSize, 4);
  PutLe(record + 12, payloadSize, 4);
  uint32_t crc = Crc32(0, record + 8, 8);
  crc = Crc32(crc, record + kHeader, static_cast<size_t>(topicSize) + payloadSize);
  PutLe(record + 16, crc, 4);
}

// Runs a positional read or write until `size` bytes are done. 0 or the errno of the failure
// (EIO for a write that took nothing, or a read past the end).
template <typename Byte, typename Call>
int AllAt(Byte* bytes, size_t size, uint64_t offset, Call call) {
  while (size > 0) {
    const ssize_t n = call(bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    bytes += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return 0;
}

int WriteAllAt(int fd, const void* data, size_t size, uint64_t offset) {
  return AllAt(static_cast<const char*>(data), size, offset,
               [fd](const char* b, size_t n, off_t at) { return pwrite(fd, b, n, at); });
}

int ReadAllAt(int fd, void* data, size_t size, uint64_t offset) {
  return AllAt(static_cast<char*>(data), size, offset,
               [fd](char* b, size_t n, off_t at) { return pread(fd, b, n, at); });
}

std::string DiskTrouble(int err) {
  return err == ENOSPC || err == EDQUOT || err == EFBIG ? "queue disk full"
                                                        : "queue cannot be written";
}

}  // namespace

DiskQueue::DiskQueue(const std::string& folder, uint64_t maxMessages, std::string topicPrefix)
    : folder_(folder),
      maxMessages_(maxMessages < 1 ? 1 : maxMessages),
      topicPrefix_(std::move(topicPrefix)) {
  dir_ = folder_.Path();
  dataPath_ = dir_ + "queue.dat";
  // Every name the queue may read, write, rename or remove: refused before any of it is done
  // when something not the user's own stands there.
  folder_.Check("queue.head");
  folder_.Check("queue.dat.new");
  dataFd_ = folder_.Open("queue.dat", O_RDWR | O_CREAT);
  if (dataFd_ < 0) Fail("cannot open", dataPath_);
  try {
    Load();
  } catch (...) {
    close(dataFd_);
    throw;
  }
}

DiskQueue::~DiskQueue() {
  Sync();
  close(dataFd_);
}

void DiskQueue::Fail(const char* action, const std::string& path) const {
  throw std::system_error(errno, std::generic_category(), std::string(action) + " " + path);
}

void DiskQueue::Note(std::string line) {
  // Taken by the owner as they come; a bound all the same for an owner that never asks.
  if (notes_.size() < 64) notes_.push_back(std::move(line));
}

std::vector<std::string> DiskQueue::TakeNotes() {
  std::vector<std::string> notes;
  notes.swap(notes_);
  return notes;
}

void DiskQueue::Wrote() {
  if (!unsyncedSince_) unsyncedSince_ = Clock::now();
}

std::optional<DiskQueue::Clock::time_point> DiskQueue::SyncDue() const {
  if (!unsyncedSince_) return std::nullopt;
  return *unsyncedSince_ + kSyncAfter;
}

void DiskQueue::Sync() {
  if (!unsyncedSince_) return;
  unsyncedSince_.reset();
  if (fdatasync(dataFd_) != 0) {
    if (!syncFailed_) Note("cannot sync " + dataPath_ + ": " + std::strerror(errno));
    syncFailed_ = true;
  } else {
    syncFailed_ = false;
  }
}

void DiskQueue::Finish() {
  Sync();
  if (outageErrno_ != 0) {
    Note(DiskTrouble(outageErrno_) + ": " + std::to_string(outageDropped_) + " readings dropped");
    outageErrno_ = 0;
    outageDropped_ = 0;
  }
}

DiskQueue::Found DiskQueue::Check(uint64_t at, uint64_t size) const {
  Found found;
  unsigned char header[kHeader];
  if (size - at < kHeader) {
    found.torn = true;
    return found;
  }
  if (ReadAllAt(dataFd_, header, kHeader, at) != 0 || std::memcmp(header, kMarker, 4) != 0) {
    return found;
  }
  const auto topicSize = static_cast<uint32_t>(GetLe(header + 8, 4));
  const auto payloadSize = static_cast<uint32_t>(GetLe(header + 12, 4));
  if (topicSize > kMaxTopic || payloadSize > kMaxPayload) return found;
  if (at + kHeader + topicSize + payloadSize > size) {
    found.torn = true;
    return found;
  }
  uint32_t crc = Crc32(0, header + 8, 8);
  found.topic.resize(topicSize);
  if (topicSize > 0 && ReadAllAt(dataFd_, found.topic.data(), topicSize, at + kHeader) != 0) {
    return found;
  }
  crc = Crc32(crc, found.topic.data(), topicSize);
  std::vector<char> chunk(std::min<size_t>(payloadSize, kChunk));
  for (uint64_t done = 0; done < payloadSize;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), payloadSize - done));
    if (ReadAllAt(dataFd_, chunk.data(), n, at + kHeader + topicSize + done) != 0) return found;
    crc = Crc32(crc, chunk.data(), n);
    done += n;
  }
  if (crc != GetLe(header + 16, 4)) return found;
  found.valid = true;
  found.waiting = std::memcmp(header + 4, kSent, 4) != 0 && std::memcmp(header + 4, kDrop, 4) != 0;
  found.topicSize = topicSize;
  found.payloadSize = payloadSize;
  return found;
}

std::optional<uint64_t> DiskQueue::FindValid(uint64_t from, uint64_t size) const {
  std::vector<unsigned char> chunk(kChunk);
  for (uint64_t at = from; at + kHeader <= size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size - at));
    if (ReadAllAt(dataFd_, chunk.data(), n, at) != 0) return std::nullopt;
    for (size_t i = 0; i + 4 <= n; ++i) {
      const void* hit = std::memchr(chunk.data() + i, 0xF5, n - 3 - i);
      if (hit == nullptr) break;
      i = static_cast<size_t>(static_cast<const unsigned char*>(hit) - chunk.data());
      if (std::memcmp(chunk.data() + i, kMarker, 4) == 0 && Check(at + i, size).valid) {
        return at + i;
      }
    }
    if (at + n >= size) break;
    at += n - 3;  // a marker across the chunks' border is seen in the next one
  }
  return std::nullopt;
}

void DiskQueue::Take(const Record& record) {
  records_.push_back(record);
  // More than the bound from an earlier run with a larger one: the oldest go.
  if (records_.size() > maxMessages_) {
    MarkGone(records_.front(), kDrop);
    records_.pop_front();
    ++dropped_;
  }
}

uint64_t DiskQueue::LoadCurrent(uint64_t from, uint64_t size, bool& repair) {
  uint64_t at = from;
  uint64_t damaged = 0;
  uint64_t foreign = 0;
  while (at < size) {
    Found found = Check(at, size);
    if (found.valid) {
      if (!found.waiting) {
        // Acknowledged or dropped.
      } else if (!topicPrefix_.empty() && !found.topic.starts_with(topicPrefix_)) {
        ++foreign;
      } else {
        Take(Record{at, found.topicSize, found.payloadSize});
      }
      at += kHeader + found.topicSize + found.payloadSize;
      continue;
    }
    const std::optional<uint64_t> next = FindValid(at + 1, size);
    if (!next) {
      if (found.torn) {
        Note(dataPath_ + ": a torn last record cut off (the writing of it was cut short)");
      } else {
        ++damaged;
      }
      break;
    }
    ++damaged;
    at = *next;
  }
  if (damaged > 0) {
    Note(dataPath_ + ": " + std::to_string(damaged) +
         " damaged records skipped (they fail their checksum); the valid ones after them are "
         "kept");
  }
  if (foreign > 0) {
    Note(dataPath_ + ": " + std::to_string(foreign) + " records of topics outside \"" +
         topicPrefix_ + "\" left out, never published");
  }
  damaged_ += damaged;
  foreign_ += foreign;
  repair = repair || damaged > 0 || foreign > 0;
  return std::min(at, size);
}

void DiskQueue::LoadEarlierFormat(uint64_t size) {
  // Its head names the first waiting record; one that is no record's place is not believed
  // and everything is sent again (twice rather than never).
  std::optional<uint64_t> head;
  const int headFd = folder_.Open("queue.head", O_RDONLY);
  if (headFd >= 0) {
    unsigned char bytes[8];
    if (ReadAllAt(headFd, bytes, 8, 0) == 0) head = GetLe(bytes, 8);
    close(headFd);
  }
  // Record by record: (place, topic size, payload size, dropped).
  const auto walk = [&](auto&& each) {
    uint64_t at = 0;
    while (at + kEarlierHeader <= size) {
      unsigned char header[kEarlierHeader];
      if (ReadAllAt(dataFd_, header, kEarlierHeader, at) != 0) break;
      const auto topicField = static_cast<uint32_t>(GetLe(header, 4));
      const uint32_t topicSize = topicField & ~kEarlierDropped;
      const auto payloadSize = static_cast<uint32_t>(GetLe(header + 4, 4));
      const uint64_t next = at + kEarlierHeader + topicSize + payloadSize;
      if (topicSize > kMaxTopic || payloadSize > kMaxPayload || next > size) break;
      each(at, topicSize, payloadSize, (topicField & kEarlierDropped) != 0);
      at = next;
    }
    return at;
  };
  bool headFound = false;
  const uint64_t end = walk([&](uint64_t at, uint32_t, uint32_t, bool) {
    if (head && at == *head) headFound = true;
  });
  if (head && *head == end) headFound = true;
  const uint64_t start = headFound ? *head : 0;
  if (head && !headFound) {
    Note(dir_ + "queue.head names no record: every message queued there is sent again");
  }
  std::deque<Record> waiting;
  uint64_t foreign = 0;
  walk([&](uint64_t at, uint32_t topicSize, uint32_t payloadSize, bool dropped) {
    if (at < start || dropped) return;
    std::string topic(topicSize, '\0');
    if (topicSize > 0 && ReadAllAt(dataFd_, topic.data(), topicSize, at + kEarlierHeader) != 0) {
      return;
    }
    if (!topicPrefix_.empty() && !topic.starts_with(topicPrefix_)) {
      ++foreign;
      return;
    }
    waiting.push_back(Record{at, topicSize, payloadSize});
    if (waiting.size() > maxMessages_) {
      waiting.pop_front();
      ++dropped_;
    }
  });
  if (!Compact(waiting, kEarlierHeader)) {
    Fail("cannot rewrite in the current format", dataPath_);
  }
  unlinkat(folder_.Fd(), "queue.head", 0);
  foreign_ += foreign;
  Note(dataPath_ + " was of the earlier format (no checksums): " + std::to_string(records_.size()) +
       " waiting messages taken over once, rewritten with them" +
       (foreign > 0 ? "; " + std::to_string(foreign) + " of topics outside \"" + topicPrefix_ +
                          "\" left out"
                    : std::string()));
}

void DiskQueue::Load() {
  struct stat info {};
  if (fstat(dataFd_, &info) != 0) Fail("cannot read", dataPath_);
  const auto size = static_cast<uint64_t>(info.st_size);
  // What a compaction cut short left: the old file is still whole.
  unlinkat(folder_.Fd(), "queue.dat.new", 0);
  unsigned char header[kFileHeaderSize] = {};
  const bool current = size >= kFileHeaderSize &&
                       ReadAllAt(dataFd_, header, kFileHeaderSize, 0) == 0 &&
                       std::memcmp(header, kFileHeader, kFileHeaderSize) == 0;
  bool repair = false;
  bool fresh = !current;
  uint64_t from = kFileHeaderSize;
  if (!current && size > 0) {
    if (const std::optional<uint64_t> first = FindValid(0, size)) {
      Note(dataPath_ + ": file header damaged, rebuilt");
      repair = true;
      fresh = false;
      from = *first;
      if (from > kFileHeaderSize) ++damaged_;
    } else if (size >= kEarlierHeader) {
      LoadEarlierFormat(size);
      return;
    }
  }
  if (fresh) {
    // New, or too short to hold anything.
    if (ftruncate(dataFd_, 0) != 0) Fail("cannot write", dataPath_);
    if (WriteAllAt(dataFd_, kFileHeader, kFileHeaderSize, 0) != 0) Fail("cannot write", dataPath_);
    end_ = kFileHeaderSize;
    Wrote();
    return;
  }
  end_ = LoadCurrent(from, size, repair);
  if (end_ < size) {
    if (ftruncate(dataFd_, static_cast<off_t>(end_)) != 0) {
      Fail("cannot cut the torn end of", dataPath_);
    }
    Wrote();
  }
  const bool consumed =
      records_.empty() ? end_ > kFileHeaderSize : records_.front().offset > kFileHeaderSize;
  if ((repair || consumed) && !Compact(records_, kHeader)) {
    Note("cannot rewrite " + dataPath_ + " without its consumed part (" + std::strerror(errno) +
         "); it is used as it is");
  }
}

bool DiskQueue::Push(const QueuedMessage& message) {
  if (message.topic.size() > kMaxTopic || message.payload.size() > kMaxPayload) {
    ++dropped_;
    Note("a message of " + std::to_string(message.topic.size() + message.payload.size()) +
         " bytes is too long for the queue: dropped");
    return false;
  }
  if (records_.size() >= maxMessages_) {
    Leave(kDrop);
    ++dropped_;
  }
  const auto topicSize = static_cast<uint32_t>(message.topic.size());
  const auto payloadSize = static_cast<uint32_t>(message.payload.size());
  std::vector<unsigned char> bytes(kHeader + topicSize + payloadSize);
  std::memcpy(bytes.data() + kHeader, message.topic.data(), topicSize);
  std::memcpy(bytes.data() + kHeader + topicSize, message.payload.data(), payloadSize);
  FillHeader(bytes.data(), kLive, topicSize, payloadSize);
  if (const int err = WriteAllAt(dataFd_, bytes.data(), bytes.size(), end_); err != 0) {
    // Half a record would read as a damaged one: the file goes back to its last whole record.
    [[maybe_unused]] const int ignored = ftruncate(dataFd_, static_cast<off_t>(end_));
    ++dropped_;
    ++outageDropped_;
    if (outageErrno_ == 0) {
      outageErrno_ = err;
      Note(DiskTrouble(err) + " (" + dataPath_ + ": " + std::strerror(err) +
           "): readings for the broker are dropped, and counted, until it takes them again");
    }
    return false;
  }
  records_.push_back(Record{end_, topicSize, payloadSize});
  end_ += bytes.size();
  Wrote();
  if (outageErrno_ != 0) {
    Note(DiskTrouble(outageErrno_) + ": " + std::to_string(outageDropped_) + " readings dropped");
    outageErrno_ = 0;
    outageDropped_ = 0;
  }
  return true;
}

QueuedMessage DiskQueue::At(uint64_t index) const {
  const Record& r = records_.at(index);
  QueuedMessage message;
  message.topic.resize(r.topicSize);
  message.payload.resize(r.payloadSize);
  int err = 0;
  if (r.topicSize > 0)
    err = ReadAllAt(dataFd_, message.topic.data(), r.topicSize, r.offset + kHeader);
  if (err == 0 && r.payloadSize > 0) {
    err =
        ReadAllAt(dataFd_, message.payload.data(), r.payloadSize, r.offset + kHeader + r.topicSize);
  }
  if (err != 0) {
    errno = err;
    Fail("cannot read", dataPath_);
  }
  return message;
}

std::optional<QueuedMessage> DiskQueue::Checked(uint64_t index) {
  const Record r = records_.at(index);
  std::vector<unsigned char> bytes(kHeader + r.topicSize + r.payloadSize);
  // A record the disk no longer gives back (a read error, a file cut short by someone else)
  // is as lost as a damaged one: dropped and counted, so the sender goes on with the rest
  // instead of failing on it for ever.
  const int err = ReadAllAt(dataFd_, bytes.data(), bytes.size(), r.offset);
  if (err == 0) {
    const std::vector<unsigned char> read(bytes.begin(), bytes.begin() + kHeader);
    FillHeader(bytes.data(), kLive, r.topicSize, r.payloadSize);
    if (std::memcmp(read.data(), bytes.data(), 4) == 0 &&
        std::memcmp(read.data() + 8, bytes.data() + 8, kHeader - 8) == 0) {
      const auto* text = reinterpret_cast<const char*>(bytes.data() + kHeader);
      return QueuedMessage{std::string(text, r.topicSize),
                           std::string(text + r.topicSize, r.payloadSize)};
    }
  }
  MarkGone(r, kDrop);
  records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
  ++damaged_;
  ++dropped_;
  Note(dataPath_ +
       (err != 0 ? ": a queued record cannot be read (" + std::string(std::strerror(err)) + ")"
                 : std::string(": a queued record no longer passes its checksum (damaged on "
                               "the disk)")) +
       ": dropped, not published");
  return std::nullopt;
}

void DiskQueue::MarkGone(const Record& record, const char* state) {
  if (const int err = WriteAllAt(dataFd_, state, 4, record.offset + 4); err != 0) {
    if (!markFailed_) {
      Note("cannot mark a message as gone in " + dataPath_ + " (" + std::strerror(err) +
           "): after a restart it is sent again");
    }
    markFailed_ = true;
    return;
  }
  markFailed_ = false;
  Wrote();
}

void DiskQueue::Pop() { Leave(kSent); }

void DiskQueue::Leave(const char* state) {
  MarkGone(records_.front(), state);
  records_.pop_front();
  if (records_.empty()) {
    // Every record in the file is marked gone, so a crash while it is cut finds nothing to
    // send, whichever length the file has then.
    if (end_ > kFileHeaderSize && ftruncate(dataFd_, kFileHeaderSize) == 0) {
      end_ = kFileHeaderSize;
      compactFrom_ = 0;
      Wrote();
    }
    return;
  }
  const uint64_t head = records_.front().offset;
  const uint64_t consumed = head - kFileHeaderSize;
  if (consumed >= kCompactBytes && consumed > (end_ - kFileHeaderSize) / 2 &&
      head >= compactFrom_ && !Compact(records_, kHeader)) {
    // Tried again only when as much more has been consumed.
    Note("cannot rewrite " + dataPath_ + " without its consumed part (" + std::strerror(errno) +
         "); it grows meanwhile");
    compactFrom_ = head + kCompactBytes;
  }
}

void DiskQueue::DropAt(uint64_t index) {
  if (index == 0) {
    Leave(kDrop);
  } else {
    MarkGone(records_.at(index), kDrop);
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  ++dropped_;
}

bool DiskQueue::Compact(const std::deque<Record>& from, size_t fromHeader) {
  // The waiting records go into a new file beside the old one, which is renamed over it only
  // once it is whole on the disk: a crash at any moment leaves one whole file or the other.
  constexpr char kTemp[] = "queue.dat.new";
  unlinkat(folder_.Fd(), kTemp, 0);
  int fd = -1;
  try {
    fd = folder_.Open(kTemp, O_RDWR | O_CREAT | O_EXCL);
  } catch (const UnsafeState&) {
    errno = EPERM;  // something put there between the removal and the open: not used
  }
  if (fd < 0) return false;
  int err = WriteAllAt(fd, kFileHeader, kFileHeaderSize, 0);
  std::deque<Record> moved;
  uint64_t at = kFileHeaderSize;
  std::vector<unsigned char> bytes;
  for (const Record& r : from) {
    if (err != 0) break;
    bytes.resize(kHeader + r.topicSize + r.payloadSize);
    err = ReadAllAt(dataFd_, bytes.data() + kHeader, bytes.size() - kHeader, r.offset + fromHeader);
    if (err != 0) break;
    FillHeader(bytes.data(), kLive, r.topicSize, r.payloadSize);
    err = WriteAllAt(fd, bytes.data(), bytes.size(), at);
    moved.push_back(Record{at, r.topicSize, r.payloadSize});
    at += bytes.size();
  }
  if (err == 0 && fdatasync(fd) != 0) err = errno;
  if (err == 0) {
    if (crashPointForTests != nullptr) crashPointForTests("new file written");
    if (renameat(folder_.Fd(), kTemp, folder_.Fd(), "queue.dat") != 0) err = errno;
  }
  if (err != 0) {
    close(fd);
    unlinkat(folder_.Fd(), kTemp, 0);
    errno = err;
    return false;
  }
  if (crashPointForTests != nullptr) crashPointForTests("renamed");
  // The rename onto the disk too; without it a power cut may bring the old file back, which
  // sends again only what was acknowledged since its last sync.
  folder_.Sync();
  close(dataFd_);
  dataFd_ = fd;
  records_ = std::move(moved);
  end_ = at;
  compactFrom_ = 0;
  unsyncedSince_.reset();
  return true;
}

}  // namespace kelta::record
