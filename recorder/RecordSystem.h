#pragma once
// What kelta-record asks of the system, one file per system (RecordSystem_linux.cpp,
// RecordSystem_win32.cpp): the ending requests, the host's name, local time, folders, and
// the private link through which a device path is opened.

#include <atomic>
#include <ctime>
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

}  // namespace kelta::record
