#pragma once
// A bounded first-in first-out queue of messages (topic and payload) in one folder on disk, so
// readings wait for a broker that is away and outlive the recorder. Every message is written
// to the file before Push returns and put onto the disk by Sync (the owner calls it when
// SyncDue says, within 250 ms of a write); Pop marks a message as gone in the file. When the
// queue holds its bound, Push drops the oldest message first and counts it.
//
// The folder holds "queue.dat": an 8-byte file header ("\xF5KQUEUE" and the format's number,
// 2), then records of 20 header bytes and the message: a marker (F5 'K' 'Q' 'R'), the state
// ("LIVE" waiting, "SENT" acknowledged, "DROP" dropped), the topic's and the payload's lengths
// (4-byte little-endian), the CRC-32 of those two lengths, the topic and the payload, then the
// topic and the payload. The records themselves say which are still waiting, so a crash at any
// moment sends again only what was not acknowledged. The state is outside the checksum: a
// damaged state reads as waiting (sent again, never lost).
//
// Open takes up what an earlier run left: a record that fails its checksum is skipped (counted
// as dropped and in Damaged(), noted) and the valid records behind it are found by their
// marker; a torn last record (power lost mid-write) is cut off; a record whose topic lies
// outside topicPrefix is never taken (Foreign(), noted). A file of the earlier format
// (records without marker, state or checksum; the first waiting one named by "queue.head") is
// read once, its records outside topicPrefix left out, and rewritten in this format.
//
// The folder is a StateFolder: made private when missing, refused when another user owns it
// or others may write in it; its files are opened inside it without following links, and a
// "queue.dat", "queue.head" or "queue.dat.new" that is not a regular file of the user's (a
// link, a FIFO, a device, another user's file) is refused (UnsafeState) before anything is
// read or written. Files are made 0640 (less the umask).
//
// The consumed part is dropped by writing the waiting records into "queue.dat.new", syncing it
// and renaming it over "queue.dat"; a crash before the rename leaves the old file as it was.
//
// Not thread-safe: the owner serialises every call. A folder or file that cannot be opened or
// read at Open throws std::system_error naming it (UnsafeState when refused, see above); later
// write failures are counted and noted, never thrown.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "apps/recorder/RecordSystem.h"

namespace kelta::record {

struct QueuedMessage {
  std::string topic;
  std::string payload;
};

class DiskQueue {
 public:
  using Clock = std::chrono::steady_clock;
  // The longest topic (MQTT's own limit) and payload a record may hold.
  static constexpr uint32_t kMaxTopic = 65535;
  static constexpr uint32_t kMaxPayload = 1 << 20;
  // A write waits at most this long for Sync.
  static constexpr std::chrono::milliseconds kSyncAfter{200};

  // Opens (creating the folder's files when missing) and takes up what an earlier run left.
  // maxMessages >= 1. An empty topicPrefix takes every topic.
  DiskQueue(const std::string& folder, uint64_t maxMessages, std::string topicPrefix = {});
  ~DiskQueue();  // Sync()
  DiskQueue(const DiskQueue&) = delete;
  DiskQueue& operator=(const DiskQueue&) = delete;

  // False when the message could not be queued (the disk full or failing, or the message too
  // long): it is dropped and counted, and a full disk is noted once when it starts and once,
  // with the number dropped, when it ends.
  bool Push(const QueuedMessage& message);
  // The oldest message; the queue must not be empty.
  QueuedMessage Front() const { return At(0); }
  // The index-th oldest; index < Size(). Throws std::system_error when it cannot be read.
  QueuedMessage At(uint64_t index) const;
  // The same, checked again on its way to the broker: nullopt when the record no longer
  // passes its checksum (damaged on the disk since it was written) or cannot be read, and
  // then it is dropped, counted (Dropped(), Damaged()) and noted. Never throws for the disk.
  std::optional<QueuedMessage> Checked(uint64_t index);
  // The oldest message was delivered: it leaves the queue.
  void Pop();
  // Drops the index-th oldest (index < Size()) and counts it; a later Open does not see it.
  void DropAt(uint64_t index);

  uint64_t Size() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  uint64_t MaxMessages() const { return maxMessages_; }
  // Messages dropped since Open: at the bound, by DropAt, refused by the disk, or damaged.
  uint64_t Dropped() const { return dropped_; }
  // Damaged records skipped at Open, and records of another topic left out.
  uint64_t Damaged() const { return damaged_; }
  uint64_t Foreign() const { return foreign_; }

  // The lines worth a log line since the last call (what Open found, a full disk and its
  // end), oldest first.
  std::vector<std::string> TakeNotes();
  // When Sync is due; nullopt when everything written is on the disk.
  std::optional<Clock::time_point> SyncDue() const;
  // Puts everything written onto the disk (a failure is noted).
  void Sync();
  // Sync, and the count of a full-disk spell still going on is noted.
  void Finish();

  // Tests only: called at the named moments of compaction ("new file written", "renamed"),
  // so that a test can end the process there.
  static inline void (*crashPointForTests)(const char* point) = nullptr;

 private:
  struct Record {
    uint64_t offset;
    uint32_t topicSize;
    uint32_t payloadSize;
  };
  struct Found {
    bool valid = false;
    bool waiting = false;
    bool torn = false;  // not valid, and it could be the start of a record cut short
    uint32_t topicSize = 0;
    uint32_t payloadSize = 0;
    std::string topic;
  };
  void Load();
  uint64_t LoadCurrent(uint64_t from, uint64_t size, bool& repair);
  void LoadEarlierFormat(uint64_t size);
  Found Check(uint64_t at, uint64_t size) const;
  std::optional<uint64_t> FindValid(uint64_t from, uint64_t size) const;
  void Take(const Record& record);
  // Writes the records of from (each fromHeader bytes of header before its message) into a
  // new file that replaces queue.dat. False (errno set) when it cannot; nothing changed then.
  bool Compact(const std::deque<Record>& from, size_t fromHeader);
  // The oldest record leaves, marked state.
  void Leave(const char* state);
  void MarkGone(const Record& record, const char* state);
  void Wrote();
  void Note(std::string line);
  [[noreturn]] void Fail(const char* action, const std::string& path) const;

  StateFolder folder_;
  std::string dir_;
  std::string dataPath_;
  uint64_t maxMessages_;
  std::string topicPrefix_;
  int dataFd_ = -1;
  uint64_t end_ = 0;  // where the next record goes
  std::deque<Record> records_;
  uint64_t dropped_ = 0;
  uint64_t damaged_ = 0;
  uint64_t foreign_ = 0;
  std::optional<Clock::time_point> unsyncedSince_;
  uint64_t compactFrom_ = 0;  // after a failed compaction: not again before this head
  int outageErrno_ = 0;       // Push failing since...
  uint64_t outageDropped_ = 0;
  bool markFailed_ = false;
  bool syncFailed_ = false;
  std::vector<std::string> notes_;
};

}  // namespace kelta::record
