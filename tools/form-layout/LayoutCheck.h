#pragma once
// Where the window's controls lie in its client area, and whether a screenshot shows each framed
// control's outline there. Both windows (Qt and Windows) are built from the same table, so the
// same controls must show in the same places on both.

#include "console/form/FormLayout.h"
#include "graphics/png/PngPicture.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelta {

struct ClientRect {
  int left, top, width, height;
};

// The control's place in the window's client area: its own place plus its parents'.
ClientRect ClientRectOf(const ControlLayout& control);

// A screenshot of the client area in grey (0..255), rows top-down. A pixel outside it is the
// nearest one on its border: the picture's edge is no control's outline.
struct GreyPicture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
  int At(int x, int y) const;
};
GreyPicture GreyOf(const gfx::PngPicture& picture);

// Outlines may lie this many pixels off the table's place.
constexpr int kOutlineSlack = 2;

struct Placement {
  std::string_view name;
  bool placed;  // three of its four sides show an edge along most of their length
};
// Every framed control inside the window (panels, group boxes, buttons, edits, the combo box,
// the memo, the views), in the table's order.
std::vector<Placement> CheckPlacement(const GreyPicture& picture);

}  // namespace kelta
