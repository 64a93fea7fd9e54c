// The angle display's part of the form: every accepted angle and Memo1's new lines to the
// window at the display's pace, the dial picture the information chooses, and the "Clear"
// button.

#include "console/form/AngleView.h"
#include "console/form/ConsoleForm.h"

#include <span>
#include <utility>

namespace kelta {

std::optional<std::string> DialPictureFor(const std::string& positiveRange,
                                          const std::string& mode) {
  // Modes "0" and "1" turn the needle clockwise for a positive reading, "2" and "3" the
  // other way; each pair has a full-turn dial and a partial-range one.
  const bool clockwise = mode == "0" || mode == "1";
  const bool counterClockwise = mode == "2" || mode == "3";
  if (!clockwise && !counterClockwise) return std::nullopt;
  const bool fullTurn = positiveRange == "3600";
  if (fullTurn) return clockwise ? "img/Mode0.png" : "img/Mode2.png";
  return clockwise ? "img/Mode1.png" : "img/Mode3.png";
}

void ConsoleForm::ShowAngle(double value) {
  pending_.angle = value;
  PendingChanged();
}

void ConsoleForm::PendingChanged() {
  if (pending_.takingIn) return;  // the chunk's end asks once
  if (pending_.lines.empty() && !pending_.angle) return;
  pacer_.Changed();
}

void ConsoleForm::ShowPending() {
  if (!pending_.lines.empty()) {
    // Swapped out first: a window that throws leaves no line to be shown twice.
    std::vector<std::string> lines;
    lines.swap(pending_.lines);
    const size_t limit = kMemoLineLimit;
    const size_t from = lines.size() > limit ? lines.size() - limit : 0;
    window_.AddLines(FormControl::Memo1, std::span(lines).subspan(from));
    // The vector's room is kept for the next frame's lines.
    lines.clear();
    if (pending_.lines.empty()) pending_.lines.swap(lines);
  }
  if (const auto angle = std::exchange(pending_.angle, std::nullopt)) {
    // The direction is read at each showing: the information reply, which sets it, shows what
    // came before it first (FillInformation).
    window_.AngleView().ShowAngle(*angle, window_.Text(FormControl::lbeMode));
  }
}

void ConsoleForm::ChooseDialPicture(const std::string& positiveRange, const std::string& mode) {
  if (const auto file = DialPictureFor(positiveRange, mode))
    window_.AngleView().LoadDialImages(*file);
}

void ConsoleForm::btClearClick() {
  // What came before the click is cleared with the rest.
  pending_.lines.clear();
  pending_.angle.reset();
  pacer_.Cancel();
  window_.SetText(FormControl::Memo1, "");
  // Needle and readout to 0 (the empty mode leaves 0 as it is).
  window_.AngleView().ShowAngle(0, "");
  window_.SetText(FormControl::lCount, "1");
}

void ConsoleForm::btTrendClick() { window_.OpenTrend(); }

}  // namespace kelta
