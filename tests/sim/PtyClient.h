#pragma once
// The console's side of the line in tests: opens a device raw, as the serial port does, and
// reads with deadlines. One thread per client.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kelta::sim::test {

class PtyClient {
 public:
  explicit PtyClient(const std::string& path);  // fails the test (ADD_FAILURE) if it cannot
  ~PtyClient();
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Write(std::string_view bytes);
  void Close();

  // Reads until done(all bytes so far) holds or timeout passes; returns what was read. Each
  // read() result is also kept in Chunks() (cleared per call).
  std::string ReadUntil(const std::function<bool(const std::string&)>& done,
                        std::chrono::milliseconds timeout);
  // Reads until text ends with suffix.
  std::string ReadUntilEnds(std::string_view suffix,
                            std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Reads everything arriving within the window.
  std::string ReadFor(std::chrono::milliseconds window);
  // True when the line reports end of file / hang-up within timeout.
  bool WaitHangUp(std::chrono::milliseconds timeout);

  const std::vector<std::string>& Chunks() const { return chunks_; }

 private:
  int fd_ = -1;
  std::vector<std::string> chunks_;
};

size_t CountOf(std::string_view text, char c);

}  // namespace kelta::sim::test
