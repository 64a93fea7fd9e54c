#pragma once
// How the serial tests set a port up: 9600 baud like the console, COM<portNum> looked up in an
// executable folder's ports/ links, notifications run by a GUI dispatcher; and the fixture of
// the port tests, a pseudo-terminal linked as COM3 with the loop dispatcher in the GUI's place.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "serial/LoopDispatcher.h"
#include "serial/VaComm.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace kelta::test {

inline void SetUpPort(TVaComm& port, const std::string& exeDir,
                      std::shared_ptr<IGuiDispatcher> dispatcher, int portNum) {
  port.SetExeDir(exeDir);
  port.SetDispatcher(std::move(dispatcher));
  port.SetBaudrate(TVaBaudrate::br9600);
  port.SetPortNum(portNum);
}

class PtyPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop_ = std::make_shared<LoopDispatcher>();
    exe_.Link(3, pty_.SlavePath());
  }

  // A port as the console sets it up, on COM3 unless told otherwise.
  std::unique_ptr<TVaComm> MakePort(int portNum = 3) {
    auto port = std::make_unique<TVaComm>();
    SetUpPort(*port, exe_.Path(), loop_, portNum);
    return port;
  }

  // Runs GUI-thread calls until the time passed or done() holds.
  bool Pump(const std::function<bool()>& done,
            std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return loop_->RunUntil(done, limit);
  }

  std::shared_ptr<LoopDispatcher> loop_;
  PtyPair pty_;
  ExeDir exe_;
};

}  // namespace kelta::test
