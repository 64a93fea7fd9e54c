#include "tools/form-layout/LayoutCheck.h"

#include <algorithm>
#include <cstdlib>

namespace kelta {

namespace {

constexpr int kStep = 16;         // grey levels that make an edge
constexpr double kShare = 0.6;    // of a side's length that must show the edge
constexpr int kCornerMargin = 4;  // left out at each end of a side (rounded in some styles)

// An edge across the line between (x-1, y) and (x, y) (vertical side) or (x, y-1) and (x, y).
bool EdgeAt(const GreyPicture& g, int x, int y, bool vertical) {
  for (int d = -kOutlineSlack; d <= kOutlineSlack; ++d) {
    const int a = vertical ? g.At(x + d - 1, y) : g.At(x, y + d - 1);
    const int b = vertical ? g.At(x + d, y) : g.At(x, y + d);
    if (std::abs(a - b) >= kStep) return true;
  }
  return false;
}

bool SideShown(const GreyPicture& g, int x, int y, int length, bool vertical) {
  if (length <= 2 * kCornerMargin) return false;
  int hits = 0;
  for (int i = kCornerMargin; i < length - kCornerMargin; ++i) {
    if (EdgeAt(g, vertical ? x : x + i, vertical ? y + i : y, vertical)) ++hits;
  }
  return hits >= kShare * (length - 2 * kCornerMargin);
}

bool Framed(ControlKind kind) {
  return kind != ControlKind::Label && kind != ControlKind::StatusBar;
}

}  // namespace

ClientRect ClientRectOf(const ControlLayout& control) {
  ClientRect r{control.left, control.top, control.width, control.height};
  for (std::string_view parent = control.parent; !parent.empty();) {
    const ControlLayout& p = LayoutOf(parent);
    r.left += p.left;
    r.top += p.top;
    parent = p.parent;
  }
  return r;
}

int GreyPicture::At(int x, int y) const {
  if (width <= 0 || height <= 0) return 0;
  x = std::clamp(x, 0, width - 1);
  y = std::clamp(y, 0, height - 1);
  return pixels[static_cast<size_t>(y) * width + x];
}

GreyPicture GreyOf(const gfx::PngPicture& picture) {
  GreyPicture g{picture.Width, picture.Height, {}};
  g.pixels.reserve(picture.Pixels.size());
  for (const gfx::TColor32 c : picture.Pixels) {
    // The luma weights of ITU-R BT.601, in integers.
    g.pixels.push_back(static_cast<std::uint8_t>(
        (299 * gfx::RedComponent(c) + 587 * gfx::GreenComponent(c) + 114 * gfx::BlueComponent(c)) /
        1000));
  }
  return g;
}

std::vector<Placement> CheckPlacement(const GreyPicture& g) {
  std::vector<Placement> result;
  for (const ControlLayout& c : FormLayout()) {
    const ClientRect r = ClientRectOf(c);
    if (!Framed(c.kind) || r.left + r.width > kFormWidth || r.top + r.height > kFormHeight) {
      continue;
    }
    const int sides = SideShown(g, r.left, r.top, r.height, true) +
                      SideShown(g, r.left + r.width, r.top, r.height, true) +
                      SideShown(g, r.left, r.top, r.width, false) +
                      SideShown(g, r.left, r.top + r.height, r.width, false);
    result.push_back({c.name, sides >= 3});
  }
  return result;
}

}  // namespace kelta
