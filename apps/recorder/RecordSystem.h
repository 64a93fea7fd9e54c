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

// Where the queue and the recorder's identity are kept when --queue-dir is not given: the
// folder systemd made for the service ($STATE_DIRECTORY, its first one), else the user's own
// state folder, $XDG_STATE_HOME/kelta-record/NAME (when absolute) or
// ~/.local/state/kelta-record/NAME (Windows: %LOCALAPPDATA%\kelta-record\NAME). Throws
// std::system_error when there is no home folder to put it in.
std::string DefaultStateFolder(const std::string& name);
// The same rule in words, for --help (its later lines indented to the option texts' column).
const char* DefaultStateFolderRule();

// A state folder or file the recorder will not use, and why (the message names it): not its
// user's, open to others' writing, a symbolic link, not a regular file.
class UnsafeState : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The recorder's state folder (the queue, its lock, the recorder's identity), opened once so
// that whatever is renamed around it later, its files are opened inside the folder that was
// checked, and never through a link: a file a link or another user put there is refused,
// nothing is read or written through it. On Windows (StateFolder_win32.cpp) the descriptor is
// the C runtime's for the folder's handle, and the owner and mode checks are the folder's
// access list's.
class StateFolder {
 public:
  // Makes folder when missing, private to the user (0700; its missing parents too), and
  // opens it, its last step not followed when it is a link. Refuses (UnsafeState) a folder
  // that is a link, not the user's, or writable by its group or others; std::system_error
  // when it cannot be made or opened.
  explicit StateFolder(const std::string& folder);
  ~StateFolder();
  StateFolder(const StateFolder&) = delete;
  StateFolder& operator=(const StateFolder&) = delete;

  // The folder, ending in its separator (for messages).
  const std::string& Path() const { return path_; }
  // The folder's descriptor, for the *at calls.
  int Fd() const { return fd_; }
  // Refuses (UnsafeState) what stands at name when it is not a regular file of the user's;
  // nothing there is fine.
  void Check(const std::string& name) const;
  // Opens name in the folder (open's flags; a file made is 0640 less the umask), after
  // Check, never through a link, and checks the opened file the same way (UnsafeState).
  // -1 with errno when the system refuses.
  int Open(const std::string& name, int flags) const;
  // Puts the folder's entries (a rename, a new file) onto the disk: 0 or the errno.
  int Sync() const;

 private:
  std::string path_;
  int fd_ = -1;
};

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
// lock. The folder is a StateFolder (made private when missing, refused when unsafe:
// UnsafeState). Throws FolderInUse, or std::system_error when the folder or the file cannot
// be made.
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
