#pragma once
// What names a reading for good: the recorder, the sensor and the sequence number. The
// recorder's id is made once, at random (128 bits, 32 hex digits), and kept in its state
// folder ("recorder-id"); each sensor's sequence numbers go on from run to run ("sequence").
// A number is handed out only once a block of numbers from it on is reserved on the disk, so
// however a run ends (killed, power lost) the next starts past every number handed out; a run
// that ends by Finish leaves no gap.
//
// "sequence" is text: "recorder ID", then one "SENSOR NEXT" line per sensor, NEXT being above
// every number handed out to that sensor. It is replaced whole (written beside as
// "sequence.new", put on the disk, renamed over it, the rename put on the disk), so it always
// holds one whole version. When the numbers are not known (no "sequence" beside an id, one
// damaged, or one of another id) the recorder takes a new id and says so: a reading is never
// named twice, at the price of a new name for the recorder.
//
// Not thread-safe: the recorder's main thread. The caller holds the folder's lock
// (FolderLock), so no other recorder writes there meanwhile.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "apps/recorder/RecordSystem.h"

namespace kelta::record {

class ReadingIdentity {
 public:
  // Numbers reserved at a time: a killed run leaves a gap of at most this many.
  static constexpr uint64_t kBlock = 1000;

  // Reads (or makes) the identity in folder. report gets a line per event worth the log (a
  // new id and why, numbers that cannot be reserved). Throws UnsafeState or std::system_error
  // as StateFolder does, or when the files cannot be read or the first ones written.
  ReadingIdentity(const std::string& folder, std::function<void(const std::string&)> report);
  ReadingIdentity(const ReadingIdentity&) = delete;
  ReadingIdentity& operator=(const ReadingIdentity&) = delete;

  const std::string& RecorderId() const { return id_; }
  // The sensor's next number: 1 for a sensor never seen, else one past the last handed out
  // (or past the reserved block when the last run was killed).
  uint64_t Next(int sensor);
  // Keeps exactly the next numbers, so the next run goes on without a gap.
  void Finish();

 private:
  // Writes "sequence" with these bounds: 0 or the errno of the failure.
  int Save(const std::map<int, uint64_t>& bounds);
  void MakeNewId(const std::string& why);

  StateFolder folder_;
  std::function<void(const std::string&)> report_;
  std::string id_;
  std::map<int, uint64_t> next_;      // handed out next
  std::map<int, uint64_t> reserved_;  // on the disk: numbers below are reserved
  bool saveFailed_ = false;
};

}  // namespace kelta::record
