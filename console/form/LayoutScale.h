#pragma once
// The layout table at a screen's density. The table (FormLayout.h) stays in pixels at 96 DPI,
// the density it was drawn for; a window on a denser screen places each control at the
// table's pixels times dpi / 96, rounded to the nearest pixel with halves up, so both windows
// and every test agree on the same pixel.

#include "console/form/FormLayout.h"

namespace kelta {

// The density the table's pixels are given at.
inline constexpr int kLayoutDpi = 96;

// pixels * dpi / 96 rounded to the nearest whole pixel, halves away from minus infinity.
constexpr int ScaleToDpi(int pixels, int dpi) {
  const long long scaled = static_cast<long long>(pixels) * dpi + kLayoutDpi / 2;
  // Floor division: a negative offset rounds like a positive one.
  const long long whole = scaled / kLayoutDpi;
  return static_cast<int>(whole * kLayoutDpi > scaled ? whole - 1 : whole);
}

struct ControlPlace {
  int left;
  int top;
  int width;
  int height;
};

// A row's place in its parent at dpi. Its edges are scaled, not its size: controls that touch
// in the table still touch, and one that ends where its parent ends still does.
constexpr ControlPlace PlaceAt(const ControlLayout& c, int dpi) {
  const int left = ScaleToDpi(c.left, dpi);
  const int top = ScaleToDpi(c.top, dpi);
  return {left, top, ScaleToDpi(c.left + c.width, dpi) - left,
          ScaleToDpi(c.top + c.height, dpi) - top};
}

}  // namespace kelta
