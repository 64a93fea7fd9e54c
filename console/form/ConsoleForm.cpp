// The form: construction, the one guard every handler runs in, the application exception
// handler, start, close and help.

#include "console/form/ConsoleForm.h"

#include "base/ErrorLog.h"
#include "base/Errors.h"
#include "console/core/PortList.h"
#include "protocol/RxDecoder.h"
#include "serial/VaComm.h"

#include <cstdio>
#include <stdexcept>

namespace kelta {

std::string WireText(const std::string& bytes) {
  // Latin-1 to UTF-8: each byte is the code point of the same value.
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

ConsoleForm::ConsoleForm(IFormWindow& window, std::string appDir,
                         std::shared_ptr<IGuiDispatcher> dispatcher)
    : window_(window),
      appDir_(std::move(appDir)),
      decoder_(std::make_unique<RxDecoder>()),
      pacer_(
          window_, [this] { return clock_->Now(); },
          [this] { Guarded([this] { ShowPending(); }); }) {
  CreatePort(std::move(dispatcher));
  // The health line reads the form's clock, whichever it is at the time.
  health_.meter = HealthMeter(
      [this] { return std::chrono::duration<double>(clock_->Now().time_since_epoch()).count(); });
  AngleReceived.Attach([this](double value) { ShowAngle(value); });
  AngleReceived.Attach([this](double value) { RecordReading(value, readingTime_); });
  DialSettingsRead.Attach([this](const std::string& range, const std::string& mode) {
    ChooseDialPicture(range, mode);
  });
}

ConsoleForm::~ConsoleForm() {
  // The timer's tick calls this form.
  StopWaitingForPort();
}

void ConsoleForm::Guarded(const std::function<void()>& handler) {
  try {
    try {
      handler();
    } catch (const EAbort&) {
      // Silent by definition: the handler was ended on purpose.
    } catch (const std::exception& e) {
      AppException(e);
    } catch (...) {
      AppException(std::runtime_error("Unknown exception"));
    }
  } catch (const std::exception& e) {
    // The log itself failed (AppException has already put its line into the status bar).
    // Nothing may reach the window's message loop; stderr is all that is left.
    std::fprintf(stderr, "LogFile.Log: %s\n", e.what());
  }
}

void ConsoleForm::AppException(const std::exception& error) {
  const std::string line = LogLine(error.what());
  SetStatus(0, line);
  WriteLogLine(appDir_, line);
}

void ConsoleForm::SetStatus(int panel, const std::string& text) { window_.SetStatus(panel, text); }

void ConsoleForm::FormCreate() {
  LoadUserSet(UserSet, appDir_);
  window_.SetText(FormControl::ePortNo, UserSet.Read(UserSetField::PortName));
  window_.SetText(FormControl::eCount, UserSet.Read(UserSetField::SendCount));
  window_.SetText(FormControl::eInterval, UserSet.Read(UserSetField::SendInterval));
  window_.SetText(FormControl::eID, UserSet.Read(UserSetField::SensorID));

  std::vector<std::string> names;
  PortRoots roots;
  roots.exeDir = appDir_;
  FillPortList(names, true, roots);
  // Beside each name what the port is: where its link leads, and what sits behind the device.
  std::vector<std::string> descriptions;
  for (const std::string& name : names) {
    const PortWhere where = PortLocation(name, roots);
    const std::string device = window_.DescribePort(where.device);
    if (where.target.empty())
      descriptions.push_back(device);
    else
      descriptions.push_back(device.empty() ? where.target : where.target + " (" + device + ")");
  }
  window_.SetItems(FormControl::ePortNo, names, descriptions);
  LoadRecordSettings();
}

void ConsoleForm::CopyFieldsToUserSet() {
  // Store() cuts each text to its field's capacity (6, 5, 10 and 3 characters).
  UserSet.Store(UserSetField::PortName, window_.Text(FormControl::ePortNo));
  UserSet.Store(UserSetField::SendCount, window_.Text(FormControl::eCount));
  UserSet.Store(UserSetField::SendInterval, window_.Text(FormControl::eInterval));
  UserSet.Store(UserSetField::SensorID, window_.Text(FormControl::eID));
}

void ConsoleForm::FormClose() {
  CopyFieldsToUserSet();
  SaveUserSet(UserSet, appDir_);
}

bool ConsoleForm::WindowClosing() {
  // Closing again (the application closes its windows when it quits) changes nothing.
  if (closing_) return false;
  // A counted reading or ID measurement may be waiting further down the stack (the title
  // bar's close runs inside its wait): its waits end from now on, and with the port closed
  // nothing holds the device once the window is gone.
  closing_ = true;
  StopRequested = true;
  StopWaitingForPort();
  Guarded([this] {
    if (Connected == 1) VaComm1().Close();
  });
  EndRecording();
  try {
    FormClose();
  } catch (const std::exception& e) {
    // The window is about to go: the status bar would never be seen again.
    Guarded([this, &e] { AppException(e); });
    window_.ShowMessage(std::string("The settings were not saved.\n") + e.what());
  }
  return true;
}

void ConsoleForm::ProgramEnding() {
  if (closing_) return;
  closing_ = true;
  // As the window's close, without its box: nobody is left to read one.
  try {
    StopRecording();
  } catch (const std::exception&) {
  }
  try {
    FormClose();
  } catch (const std::exception&) {
  }
}

void ConsoleForm::btHelpClick() { window_.OpenHelp(); }

}  // namespace kelta
