// kelta-form-layout: the main window's controls where the window's client area has them, for
// scripts that drive or photograph the window (tools/wine-console-e2e.sh).
//
//   kelta-form-layout
//       "window WIDTH HEIGHT", then one line a control: name, kind, left, top, width, height in
//       client coordinates (the parents' places added), and "hidden" when it starts hidden
//   kelta-form-layout --check SHOT.png
//       SHOT.png is a screenshot of the client area (its top-left corner at the picture's). For
//       every framed control inside the window it says "placed NAME" when the picture shows the
//       control's outline where the table puts it, else "missing NAME"; then "placed N of M".

#include "graphics/png/PngDecoder.h"
#include "tools/form-layout/LayoutCheck.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

using kelta::ControlKind;
using kelta::ControlLayout;

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Panel:
      return "Panel";
    case ControlKind::GroupBox:
      return "GroupBox";
    case ControlKind::Button:
      return "Button";
    case ControlKind::ToggleButton:
      return "ToggleButton";
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

int Check(const std::string& file) {
  kelta::GreyPicture picture;
  try {
    picture = kelta::GreyOf(kelta::gfx::ReadPngFile(file));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelta-form-layout: %s: %s\n", file.c_str(), e.what());
    return 1;
  }
  int placed = 0, framed = 0;
  for (const kelta::Placement& p : kelta::CheckPlacement(picture)) {
    ++framed;
    placed += p.placed;
    std::printf("%s %.*s\n", p.placed ? "placed" : "missing", static_cast<int>(p.name.size()),
                p.name.data());
  }
  std::printf("placed %d of %d\n", placed, framed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--check") return Check(argv[2]);
  if (argc != 1) {
    std::fprintf(stderr, "usage: kelta-form-layout [--check SHOT.png]\n");
    return 2;
  }
  std::printf("window %d %d\n", kelta::kFormWidth, kelta::kFormHeight);
  for (const ControlLayout& c : kelta::FormLayout()) {
    const kelta::ClientRect r = kelta::ClientRectOf(c);
    std::printf("%.*s %s %d %d %d %d%s\n", static_cast<int>(c.name.size()), c.name.data(),
                KindName(c.kind), r.left, r.top, r.width, r.height, c.hidden ? " hidden" : "");
  }
  return 0;
}
