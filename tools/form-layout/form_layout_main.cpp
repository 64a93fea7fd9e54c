// kelta-form-layout: the main window's controls where the window's client area has them, for
// scripts that drive or photograph the window (tools/wine-console-e2e.sh).
//
//   kelta-form-layout
//       one line a control: name, kind, left, top, width, height in client coordinates (the
//       parents' places added), and "hidden" when it starts hidden
//   kelta-form-layout --check WIDTH HEIGHT FILE
//       FILE holds a screenshot of the client area as WIDTH x HEIGHT bytes of grey, row by row
//       (ImageMagick: convert shot.png -colorspace gray -depth 8 gray:FILE). For every framed
//       control inside the window (panels, group boxes, buttons, edits, the combo box, the memo,
//       the views) it says "placed NAME" when the picture has the control's outline where the
//       table puts it (three of its four sides show an edge along most of their length, within
//       kSlack pixels), else "missing NAME".

#include "console/form/FormLayout.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using kelta::ControlKind;
using kelta::ControlLayout;

struct Rect {
  int left, top, width, height;
};

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Panel:
      return "Panel";
    case ControlKind::GroupBox:
      return "GroupBox";
    case ControlKind::Button:
      return "Button";
    case ControlKind::Edit:
      return "Edit";
    case ControlKind::LabeledEdit:
      return "LabeledEdit";
    case ControlKind::Label:
      return "Label";
    case ControlKind::Combo:
      return "Combo";
    case ControlKind::Memo:
      return "Memo";
    case ControlKind::View:
      return "View";
    case ControlKind::StatusBar:
      return "StatusBar";
  }
  return "?";
}

Rect ClientRect(const ControlLayout& c) {
  Rect r{c.left, c.top, c.width, c.height};
  for (std::string_view parent = c.parent; !parent.empty();) {
    const ControlLayout& p = kelta::LayoutOf(parent);
    r.left += p.left;
    r.top += p.top;
    parent = p.parent;
  }
  return r;
}

// A grey picture; outside it every pixel is 0.
struct Grey {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
  int At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<size_t>(y) * width + x];
  }
};

constexpr int kSlack = 2;       // pixels an outline may lie off the table's place
constexpr int kStep = 16;       // grey levels that make an edge
constexpr double kShare = 0.6;  // of a side's length that must show the edge

// An edge across the line between (x-1, y) and (x, y) (vertical side) or (x, y-1) and (x, y).
bool EdgeAt(const Grey& g, int x, int y, bool vertical) {
  for (int d = -kSlack; d <= kSlack; ++d) {
    const int a = vertical ? g.At(x + d - 1, y) : g.At(x, y + d - 1);
    const int b = vertical ? g.At(x + d, y) : g.At(x, y + d);
    if (std::abs(a - b) >= kStep) return true;
  }
  return false;
}

// The side from (x, y) along `length` pixels, leaving out the corners (rounded in some styles).
bool SideShown(const Grey& g, int x, int y, int length, bool vertical) {
  const int margin = 4;
  if (length <= 2 * margin) return false;
  int hits = 0;
  for (int i = margin; i < length - margin; ++i) {
    if (EdgeAt(g, vertical ? x : x + i, vertical ? y + i : y, vertical)) ++hits;
  }
  return hits >= kShare * (length - 2 * margin);
}

bool Framed(ControlKind kind) {
  return kind != ControlKind::Label && kind != ControlKind::StatusBar;
}

int Check(int width, int height, const char* file) {
  std::ifstream in(file, std::ios::binary);
  Grey g{width, height, {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "kelta-form-layout: cannot read %s\n", file);
    return 1;
  }
  if (g.pixels.size() != static_cast<size_t>(width) * height) {
    std::fprintf(stderr, "kelta-form-layout: %s holds %zu bytes, not %d x %d\n", file,
                 g.pixels.size(), width, height);
    return 1;
  }
  int placed = 0, framed = 0;
  for (const ControlLayout& c : kelta::FormLayout()) {
    const Rect r = ClientRect(c);
    if (!Framed(c.kind) || r.left + r.width > kelta::kFormWidth ||
        r.top + r.height > kelta::kFormHeight) {
      continue;
    }
    ++framed;
    const int sides = SideShown(g, r.left, r.top, r.height, true) +
                      SideShown(g, r.left + r.width, r.top, r.height, true) +
                      SideShown(g, r.left, r.top, r.width, false) +
                      SideShown(g, r.left, r.top + r.height, r.width, false);
    const bool shown = sides >= 3;
    placed += shown;
    std::printf("%s %.*s\n", shown ? "placed" : "missing", static_cast<int>(c.name.size()),
                c.name.data());
  }
  std::printf("placed %d of %d\n", placed, framed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--check") {
    return Check(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
  }
  if (argc != 1) {
    std::fprintf(stderr, "usage: kelta-form-layout [--check WIDTH HEIGHT GREY-FILE]\n");
    return 2;
  }
  std::printf("window %d %d\n", kelta::kFormWidth, kelta::kFormHeight);
  for (const ControlLayout& c : kelta::FormLayout()) {
    const Rect r = ClientRect(c);
    std::printf("%.*s %s %d %d %d %d%s\n", static_cast<int>(c.name.size()), c.name.data(),
                KindName(c.kind), r.left, r.top, r.width, r.height, c.hidden ? " hidden" : "");
  }
  return 0;
}
