#include "tests/console/form/RecordingWindow.h"

#include <algorithm>
#include <stdexcept>

namespace kelta::test {

void RecordingAngleView::LoadDialImages(const std::string& file) {
  loads.push_back(file);
  if (failLoads) throw std::runtime_error("Cannot open \"" + file + "\"");
}

RecordingWindow::RecordingWindow() {
  texts[FormControl::ePortNo] = "COM1";
  texts[FormControl::eID] = "1";
  texts[FormControl::Edit1] = "0";
  texts[FormControl::eInterval] = "500";
  texts[FormControl::eCount] = "1";
  texts[FormControl::lCount] = "1";
  texts[FormControl::ed360Send1] = "#INFO";
  hidden[FormControl::Panel1] = true;
}

std::string RecordingWindow::Text(FormControl control) const {
  if (control == FormControl::Memo1) {
    std::string all;
    for (const std::string& line : memo) all += (all.empty() ? "" : "\n") + line;
    return all;
  }
  const auto it = texts.find(control);
  return it == texts.end() ? std::string() : it->second;
}

void RecordingWindow::SetText(FormControl control, const std::string& text) {
  if (control == FormControl::Memo1) {
    memo.clear();
    if (!text.empty()) memo.push_back(text);
    return;
  }
  texts[control] = text;
}

void RecordingWindow::SetItems(FormControl, const std::vector<std::string>& list,
                               const std::vector<std::string>& descriptions) {
  items = list;
  itemDescriptions = descriptions;
}

void RecordingWindow::SetVisible(FormControl control, bool visible) { hidden[control] = !visible; }

bool RecordingWindow::Visible(FormControl control) const {
  const auto it = hidden.find(control);
  return it == hidden.end() || !it->second;
}

void RecordingWindow::AddLine(FormControl control, const std::string& line) {
  AddLines(control, std::span(&line, 1));
}

void RecordingWindow::AddLines(FormControl, std::span<const std::string> lines) {
  ++memoAppends;
  for (const std::string& line : lines) {
    memo.push_back(line);
    if (memo.size() > static_cast<size_t>(ConsoleForm::kMemoLineLimit)) memo.pop_front();
  }
}

void RecordingWindow::SetStatus(int panel, const std::string& text) {
  status.at(static_cast<size_t>(panel)) = text;
  statusSeen.at(static_cast<size_t>(panel)).push_back(text);
}

bool RecordingWindow::AskYesNo(const std::string& text) {
  questions.push_back(text);
  if (answers.empty()) return false;
  const bool yes = answers.front();
  answers.pop_front();
  return yes;
}

void RecordingWindow::CloseWindow() {
  ++closed;
  if (form) form->WindowClosing();
}

void RecordingWindow::After(int ms, std::function<void()> fn) {
  timers_.emplace(Clock::now() + std::chrono::milliseconds(ms), std::move(fn));
}

int RecordingWindow::StartTimer(int ms, std::function<void()> tick) {
  repeating_[++lastTimer_] = std::move(tick);
  ScheduleTick(lastTimer_, ms);
  return lastTimer_;
}

void RecordingWindow::ScheduleTick(int id, int ms) {
  After(ms, [this, id, ms] {
    const auto it = repeating_.find(id);
    if (it == repeating_.end()) return;
    // The next one first, and the tick run from a copy: it may stop its own timer.
    ScheduleTick(id, ms);
    const std::function<void()> tick = it->second;
    tick();
  });
}

bool RecordingWindow::RunDueTimers() {
  bool ran = false;
  while (!timers_.empty() && timers_.begin()->first <= Clock::now()) {
    // Out of the list first: the timer's own wait may run the next one.
    const std::function<void()> fn = std::move(timers_.begin()->second);
    timers_.erase(timers_.begin());
    fn();
    ran = true;
  }
  return ran;
}

bool RecordingWindow::WaitWithMessages(int ms, const std::function<bool()>& cancelled) {
  if (cancelled()) return false;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
  for (;;) {
    RunDueTimers();
    RunMessages(cancelled, std::chrono::milliseconds(0));
    if (cancelled()) return false;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return true;
    Clock::time_point until = deadline;
    if (!timers_.empty()) until = std::min(until, timers_.begin()->first);
    if (until > now) {
      RunMessages(cancelled, std::chrono::ceil<std::chrono::milliseconds>(until - now));
    }
  }
}

bool RecordingWindow::PumpUntil(const std::function<bool()>& cond) {
  const Clock::time_point limit = Clock::now() + std::chrono::seconds(5);
  while (!cond() && Clock::now() < limit) WaitWithMessages(5, [] { return false; });
  return cond();
}

sim::SensorConfig Steady(double angle) {
  sim::SensorConfig c;
  c.fixedAngle = angle;
  c.framesPerSecond = 20;
  return c;
}

FormRig::FormRig(sim::SensorConfig config, int comNumber)
    : com(TestSensor::ComNumber(comNumber)), sensor(std::move(config), dir.Path(), com) {
  form = std::make_unique<ConsoleForm>(window, dir.Path(), window.dispatcher);
  window.form = form.get();
  form->Guarded([this] { form->FormCreate(); });
}

FormRig::~FormRig() {
  // The form (and its port) goes before the sensor it talks to.
  window.form = nullptr;
  form.reset();
  replugged.reset();
}

void FormRig::Unplug() { sensor.Unplug(); }

void FormRig::Quit() {
  sensor.Unlink();
  sensor.Unplug();
}

TestSensor& FormRig::PlugIn(sim::SensorConfig config) {
  if (replugged) replugged->Stop();
  (replugged ? *replugged : sensor).Unlink();  // first: the new terminal may have the old name
  replugged = std::make_unique<TestSensor>(std::move(config), dir.Path(), com);
  return *replugged;
}

bool FormRig::Connect() {
  window.SetText(FormControl::ePortNo, "COM" + std::to_string(com));
  Click(&ConsoleForm::Button3Click);
  return window.Visible(FormControl::Panel1);
}

void FormRig::Click(void (ConsoleForm::*handler)()) {
  form->Guarded([this, handler] { (*form.*handler)(); });
}

}  // namespace kelta::test
