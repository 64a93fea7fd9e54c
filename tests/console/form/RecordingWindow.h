#pragma once
// A window for the console's behaviour without any toolkit: it keeps every text, visibility,
// status text and box the form gives it, answers questions from a script, and keeps the
// messages flowing by running the serial port's hand-offs during waits (the loop dispatcher on
// Linux, the Windows message dispatcher and a message loop on Windows).
// A FormRig puts it in front of a form whose port reaches the simulated sensor over a real
// pseudo-terminal, as COM<N> (tests/console/form/TestSensor.h).

#include "apps/sim/SimulatedSensor.h"
#include "console/form/ConsoleForm.h"
#include "serial/GuiDispatcher.h"
#include "tests/console/form/TestSensor.h"
#include "tests/support/TempDir.h"

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kelta::test {

// The dial view and readout: what was loaded and shown. A load fails (raises) when told to.
class RecordingAngleView final : public IAngleView {
 public:
  void LoadDialImages(const std::string& file) override;
  void ShowAngle(double value, const std::string& mode) override {
    shown.emplace_back(value, mode);
  }
  void SetLive(bool value) override { live = value; }
  void SetStale(bool value) override { stale = value; }

  std::vector<std::string> loads;
  std::vector<std::pair<double, std::string>> shown;
  bool failLoads = false;
  bool live = true;
  bool stale = false;
};

class RecordingWindow final : public IFormWindow {
 public:
  // The controls' texts as the window's layout starts them; Panel1 hidden, all else shown.
  RecordingWindow();

  std::string Text(FormControl control) const override;
  void SetText(FormControl control, const std::string& text) override;
  void SetItems(FormControl control, const std::vector<std::string>& items,
                const std::vector<std::string>& descriptions) override;
  std::string DescribePort(const std::string&) const override { return {}; }
  void SetVisible(FormControl control, bool visible) override;
  void AddLine(FormControl control, const std::string& line) override;
  void AddLines(FormControl control, std::span<const std::string> lines) override;
  void SetStatus(int panel, const std::string& text) override;
  void SetChecked(FormControl control, bool value) override { checked[control] = value; }
  std::string ChooseFolder(const std::string& start) override {
    folderStarts.push_back(start);
    return folderAnswer;
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& text) override;
  bool WaitWithMessages(int ms, const std::function<bool()>& cancelled) override;
  IAngleView& AngleView() override { return angles; }
  int StartTimer(int ms, std::function<void()> tick) override;
  void StopTimer(int id) override { repeating_.erase(id); }
  void OpenHelp() override { ++helpOpened; }
  void CloseWindow() override;

  bool Visible(FormControl control) const;
  // Runs fn after `ms`, inside whatever wait runs then (a click during an exchange).
  void After(int ms, std::function<void()> fn);
  // Runs messages until cond holds (or 5 s); returns cond().
  bool PumpUntil(const std::function<bool()>& cond);

  ConsoleForm* form = nullptr;  // told that the window closes
  std::shared_ptr<IGuiDispatcher> dispatcher = NewDispatcher();

  RecordingAngleView angles;
  std::map<FormControl, std::string> texts;
  std::map<FormControl, bool> hidden;
  std::vector<std::string> items;                      // ePortNo's list
  std::vector<std::string> itemDescriptions;           // beside each of items
  std::deque<std::string> memo;                        // Memo1's lines
  int memoAppends = 0;                                 // AddLine and AddLines calls
  std::array<std::string, 2> status;                   // what the panels show now
  std::array<std::vector<std::string>, 2> statusSeen;  // every text put there
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::deque<bool> answers;               // for the questions, in order; No when none is left
  std::map<FormControl, bool> checked;    // SetChecked's
  std::string folderAnswer;               // what ChooseFolder answers; empty: cancelled
  std::vector<std::string> folderStarts;  // where each ChooseFolder started
  int helpOpened = 0;
  int closed = 0;

 private:
  using Clock = std::chrono::steady_clock;
  std::multimap<Clock::time_point, std::function<void()>> timers_;
  std::map<int, std::function<void()>> repeating_;  // StartTimer's, by id
  int lastTimer_ = 0;
  // Per system (MessageLoop_<os>.cpp): the dispatcher, and running its calls until done()
  // holds or the time has passed (a limit of 0: the calls queued now).
  static std::shared_ptr<IGuiDispatcher> NewDispatcher();
  void RunMessages(const std::function<bool()>& done, std::chrono::milliseconds limit);
  void ScheduleTick(int id, int ms);
  // Runs the timers that are due; true when one ran.
  bool RunDueTimers();
};

// A sensor at a fixed angle, 20 frames a second.
sim::SensorConfig Steady(double angle);

// A form in front of a recording window, in its own folder, wired to a simulated sensor.
struct FormRig {
  // COM<com> on Linux; under Wine the COM number the script linked.
  explicit FormRig(sim::SensorConfig config = {}, int com = 7);
  ~FormRig();

  // Types COM<N> and presses Connect; true when the console panel came up.
  bool Connect();
  // The sensor unplugged for good (its terminal hung up and gone, the link dangling), then
  // a new one with `config` started and linked under the same COM<N>, as a restarted
  // simulator or a re-plugged adapter gives.
  void Unplug();
  // The simulator ended, as kelta-sim ends on a signal: its link removed first (COM<N> has
  // none then), then its terminal hung up and closed.
  void Quit();
  TestSensor& PlugIn(sim::SensorConfig config);
  // Runs a handler as a click does.
  void Click(void (ConsoleForm::*handler)());
  std::string Received() const { return sensor.ReceivedBytes(); }

  TempDir dir;
  const int com;
  TestSensor sensor;
  std::unique_ptr<TestSensor> replugged;  // PlugIn's
  RecordingWindow window;
  std::unique_ptr<ConsoleForm> form;
};

}  // namespace kelta::test
