#include "recorder/DiskQueue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace kelta::record {

namespace {

// The file is rewritten without its consumed part once that part is this large and more than
// half of it, so a queue that is emptied as fast as it fills never grows.
constexpr uint64_t kCompactBytes = 1 << 20;
constexpr size_t kRecordHeader = 8;
constexpr uint32_t kDroppedMark = 0x80000000u;

void PutLe(unsigned char* at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t GetLe(const unsigned char* at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
  return value;
}

bool WriteAllAt(int fd, const void* data, size_t size, uint64_t offset) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = pwrite(fd, bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool ReadAllAt(int fd, void* data, size_t size, uint64_t offset) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = pread(fd, bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace

DiskQueue::DiskQueue(const std::string& folder, uint64_t maxMessages)
    : maxMessages_(maxMessages < 1 ? 1 : maxMessages) {
  const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + '/';
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) Fail("cannot create", dir);
  dataPath_ = dir + "queue.dat";
  headPath_ = dir + "queue.head";
  dataFd_ = open(dataPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (dataFd_ < 0) Fail("cannot open", dataPath_);
  headFd_ = open(headPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (headFd_ < 0) {
    const int err = errno;
    close(dataFd_);
    errno = err;
    Fail("cannot open", headPath_);
  }
  try {
    Load();
  } catch (...) {
    close(dataFd_);
    close(headFd_);
    throw;
  }
}

DiskQueue::~DiskQueue() {
  close(dataFd_);
  close(headFd_);
}

void DiskQueue::Fail(const char* action, const std::string& path) const {
  throw std::system_error(errno, std::generic_category(), std::string(action) + " " + path);
}

void DiskQueue::Load() {
  struct stat info {};
  if (fstat(dataFd_, &info) != 0) Fail("cannot read", dataPath_);
  const auto size = static_cast<uint64_t>(info.st_size);
  unsigned char head[8] = {};
  const uint64_t offset = ReadAllAt(headFd_, head, 8, 0) ? GetLe(head, 8) : 0;
  uint64_t at = offset <= size ? offset : size;
  while (at + kRecordHeader <= size) {
    unsigned char header[kRecordHeader];
    if (!ReadAllAt(dataFd_, header, kRecordHeader, at)) break;
    const auto topicField = static_cast<uint32_t>(GetLe(header, 4));
    const uint32_t topicSize = topicField & ~kDroppedMark;
    const auto payloadSize = static_cast<uint32_t>(GetLe(header + 4, 4));
    const uint64_t next = at + kRecordHeader + topicSize + payloadSize;
    if (next > size) break;
    if ((topicField & kDroppedMark) == 0) records_.push_back(Record{at, topicSize, payloadSize});
    at = next;
  }
  end_ = at;
  if (end_ < size && ftruncate(dataFd_, static_cast<off_t>(end_)) != 0) {
    Fail("cannot cut the torn end of", dataPath_);
  }
  // More than the bound from an earlier run with a larger one: the oldest go.
  while (records_.size() > maxMessages_) {
    records_.pop_front();
    ++dropped_;
  }
  if (records_.empty()) {
    Compact();
  } else if (records_.front().offset != offset) {
    WriteHead();
  }
}

void DiskQueue::Push(const QueuedMessage& message) {
  if (message.topic.size() >= kDroppedMark || message.payload.size() > UINT32_MAX) {
    throw std::length_error("message too long for the queue");
  }
  if (records_.size() >= maxMessages_) {
    Pop();
    ++dropped_;
  }
  std::vector<unsigned char> bytes(kRecordHeader + message.topic.size() + message.payload.size());
  PutLe(bytes.data(), message.topic.size(), 4);
  PutLe(bytes.data() + 4, message.payload.size(), 4);
  std::memcpy(bytes.data() + kRecordHeader, message.topic.data(), message.topic.size());
  std::memcpy(bytes.data() + kRecordHeader + message.topic.size(), message.payload.data(),
              message.payload.size());
  if (!WriteAllAt(dataFd_, bytes.data(), bytes.size(), end_)) {
    // What reached the file stays beyond end_ and is overwritten by the next Push.
    Fail("cannot write", dataPath_);
  }
  records_.push_back(Record{end_, static_cast<uint32_t>(message.topic.size()),
                            static_cast<uint32_t>(message.payload.size())});
  end_ += bytes.size();
}

QueuedMessage DiskQueue::At(uint64_t index) const {
  const Record& r = records_.at(index);
  QueuedMessage message;
  message.topic.resize(r.topicSize);
  message.payload.resize(r.payloadSize);
  if ((r.topicSize > 0 &&
       !ReadAllAt(dataFd_, message.topic.data(), r.topicSize, r.offset + kRecordHeader)) ||
      (r.payloadSize > 0 && !ReadAllAt(dataFd_, message.payload.data(), r.payloadSize,
                                       r.offset + kRecordHeader + r.topicSize))) {
    Fail("cannot read", dataPath_);
  }
  return message;
}

void DiskQueue::Pop() {
  records_.pop_front();
  if (records_.empty()) {
    Compact();
    return;
  }
  const uint64_t head = records_.front().offset;
  if (head >= kCompactBytes && head > end_ / 2) {
    Compact();
  } else {
    WriteHead();
  }
}

void DiskQueue::DropAt(uint64_t index) {
  if (index == 0) {
    Pop();
  } else {
    const Record r = records_.at(index);
    unsigned char field[4];
    PutLe(field, r.topicSize | kDroppedMark, 4);
    if (!WriteAllAt(dataFd_, field, 4, r.offset)) Fail("cannot write", dataPath_);
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  ++dropped_;
}

void DiskQueue::WriteHead() {
  unsigned char head[8];
  PutLe(head, records_.empty() ? end_ : records_.front().offset, 8);
  if (!WriteAllAt(headFd_, head, 8, 0)) Fail("cannot write", headPath_);
}

void DiskQueue::Compact() {
  // The live records move to the file's start. Pop compacts only when the consumed part is
  // larger than the live one, so the copy never overwrites what it copies, and until the head
  // moves to 0 the records are still found at their old place.
  const uint64_t from = records_.empty() ? end_ : records_.front().offset;
  if (from == 0) {
    WriteHead();
    return;
  }
  const uint64_t live = end_ - from;
  std::vector<char> bytes(live);
  if (live > 0 && !ReadAllAt(dataFd_, bytes.data(), live, from)) Fail("cannot read", dataPath_);
  if (live > 0 && !WriteAllAt(dataFd_, bytes.data(), live, 0)) Fail("cannot write", dataPath_);
  for (Record& r : records_) r.offset -= from;
  end_ = live;
  WriteHead();
  if (ftruncate(dataFd_, static_cast<off_t>(live)) != 0) Fail("cannot shorten", dataPath_);
}

}  // namespace kelta::record
