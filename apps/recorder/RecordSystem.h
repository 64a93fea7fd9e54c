#pragma once
// What kelta-record asks of the system, one file per system (RecordSystem_linux.cpp,
// RecordSystem_win32.cpp): the ending requests, the host's name, local time, folders, and
// the private link through which a device path is opened, the queue folder's lock and what
// holds a port.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>

namespace kelta::record {

// From construction to destruction, the system's requests to end set stop: SIGTERM, SIGINT and
// SIGHUP on Linux (SIGPIPE ignored, so a reader going away does not end the program through a
// write); Ctrl+C, Ctrl+Break and the console's closing, logoff or shutdown on Windows, where
// the last three wait (up to the system's own limit) for the destructor, so everything is
// flushed before the system ends the process. One instance at a time.
class StopRequests {
 public:
  explicit StopRequests(std::atomic<bool>& stop);
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

 private:
  struct State;
  State* state_;
};

// The machine's name; "kelta" when the system gives none.
std::string HostName();
bool IsFolder(const std::string& path);
std::tm LocalTime(std::time_t time);
// The folder separator that ends a folder name given on the command line ('/', or '\' too on
// Windows).
bool EndsWithSeparator(const std::string& path);

// A device path is opened as "COM1" of a private folder holding the link "ports/com1" to it
// (followed anew at every open, as a COM link is). Returns the folder with a trailing
// separator. Throws std::system_error when the link cannot be made, std::invalid_argument
// where device paths do not exist (Windows: the port is COMn).
std::string LinkDevicePath(const std::string& device);
// Removes what LinkDevicePath made.
void RemoveDeviceLink(const std::string& folder);
// Whether the path to open is there now (Windows: always, the opening tells).
bool DevicePresent(const std::string& path);

// Whether another program holds the port at path open: its lock is taken or it is open
// exclusively (Linux: flock or TIOCEXCL; Windows: a COM port opens only once). False when the
// port is free, missing, or cannot be opened for another reason.
bool PortHeldElsewhere(const std::string& path);
// Where path leads, links followed (for messages); path itself when it leads nowhere.
std::string DeviceBehind(const std::string& path);

// Another process holds the folder's lock.
class FolderInUse : public std::runtime_error {
 public:
  FolderInUse(const std::string& what, long long pid) : std::runtime_error(what), pid_(pid) {}
  long long Pid() const { return pid_; }  // 0 when the holder has not written it yet

 private:
  long long pid_;
};

// One process at a time uses a folder (the queue's): the lock of "owner.lock" in it is held
// from construction to destruction, and the file names the holder's process id. The system
// frees the lock when the process ends, however it ends, so a crashed holder leaves no stale
// lock. Creates the folder (private to the user) when it is missing. Throws FolderInUse, or
// std::system_error when the folder or the file cannot be made.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  intptr_t handle_;
};

}  // namespace kelta::record
