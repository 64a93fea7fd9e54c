#pragma once
// The main window's controls as a table, without any toolkit: each control's name on the form,
// its kind, its parent, its caption (UTF-8), its place and size in its parent, its font and
// whether it starts hidden, and the form's handler a click on it runs. The Qt window and the
// native Windows window are both built from it and bind their clicks by walking it, so the two
// show the same controls in the same places and a click does the same in both.
//
// Geometry is absolute, as the operator knows the screen; the window is not resizable. Labels
// are given the size their caption takes in the window's 11-pixel font.

#include "console/form/FormWindow.h"

#include <span>
#include <string_view>

namespace kelta {

class ConsoleForm;

// What a click on a control runs: one of the form's handlers.
using FormClick = void (ConsoleForm::*)();

// The window itself: its client area and title, and the font of every control that names none.
inline constexpr int kFormWidth = 618;
inline constexpr int kFormHeight = 721;
inline constexpr std::string_view kFormTitle = "KELTA-RQ-7 Display Software Rev4.0용";
inline constexpr int kFormFontPixels = 11;
// The status bar's two panels, left to right.
inline constexpr int kStatusPanelWidths[2] = {300, 360};
// Edits and the combo box are one text row high.
inline constexpr int kEditHeight = 21;

enum class ControlKind {
  Panel,         // a raised panel holding controls
  GroupBox,      // a framed box with its caption at the top
  Button,        // a push button
  ToggleButton,  // a push button that stays pressed in while checked
  Edit,          // a single-line edit; the caption is its starting text
  LabeledEdit,   // an edit with its label above it: the label is the entry "<name>.EditLabel"
  Label,         // a static text, left-aligned unless rightAligned
  Combo,         // the editable drop-down; the caption is its starting text
  Memo,          // a multi-line list of lines, scrolled both ways, lines not wrapped
  View,          // a bitmap view (the dial); the readout is a View inside it
  StatusBar,     // the status bar, with kStatusPanelWidths
};

struct ControlLayout {
  std::string_view name;
  ControlKind kind;
  std::string_view parent;  // empty: the window
  std::string_view caption;
  int left;
  int top;
  int width;
  int height;
  int fontPixels = 0;  // 0: kFormFontPixels
  bool bold = false;
  bool hidden = false;
  bool rightAligned = false;
  // The handler a click runs: on a button, or on a panel's bare background; none when null.
  FormClick click = nullptr;
};

// Every control in the order the window creates it (later ones lie above earlier siblings).
std::span<const ControlLayout> FormLayout();

// The entry named `name`; raises std::out_of_range when there is none.
const ControlLayout& LayoutOf(std::string_view name);

// The name in the table of a control the form addresses: the one mapping between the form's
// controls and the windows' names for them.
std::string_view FormControlName(FormControl control);
// How many controls the form addresses (FormControl's values run from 0 to this, exclusive).
inline constexpr int kFormControlCount = static_cast<int>(FormControl::lRecord) + 1;

}  // namespace kelta
