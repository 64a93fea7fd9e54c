#pragma once
// What the console's behaviour needs of its window, and nothing of any toolkit: the controls it
// reads and writes by their names on the form, the status bar's two panels, the message and
// question boxes, the wait that keeps the window's messages flowing, the help window and
// closing; and the view and readout the angle display draws into. The Qt window implements it
// (console/UKELTA_Display), tests a recording window.
//
// Texts are UTF-8. Everything is called on the GUI thread only.

#include "console/form/AngleView.h"

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kelta {

// The form's controls that the behaviour touches, named as the form names them.
enum class FormControl {
  Panel1,  // the console panel
  Panel2,  // the connect panel
  ePortNo,
  eID,
  Edit1,
  eCount,
  eInterval,
  lCount,
  leRangeN,
  leRangeP,
  ed360Send1,
  ed360Send2,
  ed360Send3,
  Memo1,
  lbeVersion,
  lbeID,
  lbeMode,
  lbeCalDone,
  lbeOffset,
  lbeNRange,
  lbePRange,
  lbeMVGain,
  lbeMVOffset,
  lbeCal0,  // to lbeCal11, in order
  lbeCal11 = lbeCal0 + 11,
  lHealth,  // the live health line
  // Recording, beside the health line: the "Record" toggle (a checkable button), the folder
  // chooser "Folder…", and the label naming the file being written (or the folder).
  btRecord,
  btFolder,
  lRecord,
};

// lbeCal0 + index (0 to 11).
constexpr FormControl CalField(int index) {
  return static_cast<FormControl>(static_cast<int>(FormControl::lbeCal0) + index);
}

class IFormWindow {
 public:
  virtual ~IFormWindow() = default;

  // An edit's, a label's or the combo box's typed text; Memo1's whole text.
  virtual std::string Text(FormControl control) const = 0;
  // The same; an empty text clears Memo1.
  virtual void SetText(FormControl control, const std::string& text) = 0;
  // The combo box's list (ePortNo); the typed text stays as it is. descriptions: empty, or one
  // per item, shown beside it in the list (choosing an item still puts only the item's text in
  // the edit).
  virtual void SetItems(FormControl control, const std::vector<std::string>& items,
                        const std::vector<std::string>& descriptions) = 0;
  // What the toolkit knows about the device at devicePath (an adapter's maker, product and
  // serial number, "built-in UART"); empty when nothing.
  virtual std::string DescribePort(const std::string& devicePath) const = 0;
  // A control shown is brought in front of its siblings (the connect panel over the console).
  virtual void SetVisible(FormControl control, bool visible) = 0;
  // Appends a line to Memo1, which keeps its newest kMemoLineLimit lines and brings the start
  // of the lines back into view.
  virtual void AddLine(FormControl control, const std::string& line) = 0;
  // Appends the lines in one go, as AddLine each would: the list is laid out and drawn once
  // for all of them. There are at most kMemoLineLimit, already cut to the line's length.
  virtual void AddLines(FormControl control, std::span<const std::string> lines) = 0;

  // A checkable button's state (btRecord), set without running its click handler.
  virtual void SetChecked(FormControl control, bool checked) = 0;
  // A modal folder chooser starting at `start` (UTF-8, possibly not there yet); the chosen
  // folder, or empty when cancelled.
  virtual std::string ChooseFolder(const std::string& start) = 0;

  // Status bar panel 0 or 1.
  virtual void SetStatus(int panel, const std::string& text) = 0;

  // An information box with OK; a question with Yes and No, true only for Yes. Both are modal;
  // serial notifications keep running while one is open.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual bool AskYesNo(const std::string& text) = 0;

  // Lasts at least `ms` milliseconds and runs every message that arrives meanwhile (clicks,
  // serial notifications, repaints), sleeping between them. Ends early once `cancelled` holds
  // (asked first, and after each round of messages): false then, true when the time passed.
  virtual bool WaitWithMessages(int ms, const std::function<bool()>& cancelled) = 0;

  // The dial view and its readout.
  virtual IAngleView& AngleView() = 0;

  // Runs `tick` about every `ms` milliseconds on the GUI thread whenever the window's messages
  // run (in the idle loop and inside WaitWithMessages), until StopTimer with the id returned.
  // A tick may run inside a wait of an earlier tick; the tick itself guards against that.
  // StopTimer may be called from inside the tick and with an id already stopped.
  virtual int StartTimer(int ms, std::function<void()> tick) = 0;
  virtual void StopTimer(int id) = 0;

  // Opens a new help window.
  virtual void OpenHelp() = 0;
  // Shows the trend window of the form's Trend(), made at the first call; a window without
  // one shows nothing.
  virtual void OpenTrend() {}
  // Closes the window; the front-end then calls ConsoleForm::WindowClosing.
  virtual void CloseWindow() = 0;
};

}  // namespace kelta
