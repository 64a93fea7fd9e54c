#pragma once
// A bounded first-in first-out queue of messages (topic and payload) in one folder on disk, so
// readings wait for a broker that is away and outlive the recorder. Every message is written
// to the file before Push returns; Pop moves a persistent head past it. When the queue holds
// its bound, Push drops the oldest message first and counts it.
//
// Files in the folder: "queue.dat" (records: topic length and payload length as 4-byte
// little-endian numbers, then the bytes; the topic length's top bit marks a dropped record) and
// "queue.head" (the offset of the first message, 8 bytes little-endian). A torn last record (power
// lost mid-write) is cut off on Open.
//
// Not thread-safe: the owner serialises every call. Failures throw std::system_error naming
// the file.

#include <cstdint>
#include <deque>
#include <string>

namespace kelta::record {

struct QueuedMessage {
  std::string topic;
  std::string payload;
};

class DiskQueue {
 public:
  // Opens (creating the folder's files when missing) and takes up what an earlier run left.
  // maxMessages >= 1.
  DiskQueue(const std::string& folder, uint64_t maxMessages);
  ~DiskQueue();
  DiskQueue(const DiskQueue&) = delete;
  DiskQueue& operator=(const DiskQueue&) = delete;

  void Push(const QueuedMessage& message);
  // The oldest message; the queue must not be empty.
  QueuedMessage Front() const { return At(0); }
  // The index-th oldest; index < Size().
  QueuedMessage At(uint64_t index) const;
  void Pop();
  // Drops the index-th oldest (index < Size()) and counts it; a later Open does not see it.
  void DropAt(uint64_t index);

  uint64_t Size() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  uint64_t MaxMessages() const { return maxMessages_; }
  // Messages dropped at the bound or by DropAt since Open.
  uint64_t Dropped() const { return dropped_; }

 private:
  struct Record {
    uint64_t offset;
    uint32_t topicSize;
    uint32_t payloadSize;
  };
  void Load();
  void WriteHead();
  void Compact();
  [[noreturn]] void Fail(const char* action, const std::string& path) const;

  std::string dataPath_;
  std::string headPath_;
  uint64_t maxMessages_;
  int dataFd_ = -1;
  int headFd_ = -1;
  uint64_t end_ = 0;  // size of queue.dat
  std::deque<Record> records_;
  uint64_t dropped_ = 0;
};

}  // namespace kelta::record
