// The angle display's part of the form: every accepted angle to the view, the dial picture
// the information chooses, and the "Clear" button.

#include "console/form/AngleView.h"
#include "console/form/ConsoleForm.h"

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
  // The direction is read for every value: a new information reply turns the very next one.
  window_.AngleView().ShowAngle(value, window_.Text(FormControl::lbeMode));
}

void ConsoleForm::ChooseDialPicture(const std::string& positiveRange, const std::string& mode) {
  if (const auto file = DialPictureFor(positiveRange, mode))
    window_.AngleView().LoadDialImages(*file);
}

void ConsoleForm::btClearClick() {
  window_.SetText(FormControl::Memo1, "");
  // Needle and readout to 0 (the empty mode leaves 0 as it is).
  window_.AngleView().ShowAngle(0, "");
  window_.SetText(FormControl::lCount, "1");
}

void ConsoleForm::btTrendClick() { window_.OpenTrend(); }

}  // namespace kelta
