#pragma once
// The angle display as the form sees it: the dial view with the needle and the seven-segment
// readout inside it, drawn by the graphics and readout side (the Qt console's AngleDisplay);
// and which dial picture the sensor's range and direction mode choose. GUI thread only.

#include <optional>
#include <string>

namespace kelta {

class IAngleView {
 public:
  virtual ~IAngleView() = default;
  // Loads the needle and the dial picture `file` (relative to the current folder) and draws
  // the needle at 0. A picture that cannot be loaded raises, naming its file.
  virtual void LoadDialImages(const std::string& file) = 0;
  // The readout shows `value` as received; the needle is turned by the dial's rule for the
  // direction mode text (the empty mode turns it as received).
  virtual void ShowAngle(double value, const std::string& mode) = 0;
  // False while the sensor's line is lost: the readout and needle still show the last value,
  // visibly marked as not current. True again once the sensor is back.
  virtual void SetLive(bool live) = 0;
  // True while continuous reading is on but no reading has come for a while: the readout
  // still shows the last value, marked as old (differently from not live). False again with
  // the next reading.
  virtual void SetStale(bool stale) = 0;
};

// The dial picture for a positive range text and a mode text (exact text comparison; the
// range has already had "0" turned into "3600"); none when the mode is not "0" to "3".
std::optional<std::string> DialPictureFor(const std::string& positiveRange,
                                          const std::string& mode);

}  // namespace kelta
