#include "console/form/FormLayout.h"

#include <stdexcept>
#include <string>

namespace kelta {

namespace {

using K = ControlKind;

// A label's height in the window's font; labels on an edit row are centred on it.
constexpr int kLabelHeight = 13;
constexpr int kRowLabel = (kEditHeight - kLabelHeight) / 2;
// Space between an edit's label and the edit below it.
constexpr int kEditLabelGap = 3;

// Rows inside the measuring group box (GroupBox2): what to poll and how often, then how many
// passes and the button.
constexpr int kRow1 = 18;
constexpr int kRow2 = 46;

constexpr ControlLayout Labeled(std::string_view name, std::string_view parent, int left, int top,
                                bool hidden = false) {
  return {name, K::LabeledEdit, parent, "", left, top, 65, kEditHeight, 0, false, hidden};
}

constexpr ControlLayout EditLabel(std::string_view name, std::string_view parent,
                                  std::string_view caption, int left, int editTop, int width,
                                  bool hidden = false) {
  return {name,  K::Label,     parent, caption, left,  editTop - kLabelHeight - kEditLabelGap,
          width, kLabelHeight, 0,      false,   hidden};
}

constexpr ControlLayout RowLabel(std::string_view name, std::string_view parent,
                                 std::string_view caption, int left, int rowTop, int width) {
  return {name, K::Label, parent, caption, left, rowTop + kRowLabel, width, kLabelHeight};
}

constexpr ControlLayout kLayout[] = {
    // The console panel, shown once connected.
    {"Panel1", K::Panel, "", "", 0, 0, 617, 705, 0, false, true},
    {"btHelp", K::Button, "Panel1", "Help", 448, 16, 75, 25, 13},
    {"btClose", K::Button, "Panel1", "Close", 534, 16, 75, 25},
    // The free band left of Help: the live health line, under it the recording's toggle
    // ("Record", checkable), its folder chooser and the label naming the file; (152, 20) is
    // the trend's button.
    {"lHealth", K::Label, "Panel1", "", 16, 3, 420, 15},
    {"btRecord", K::ToggleButton, "Panel1", "Record", 16, 20, 64, 24},
    {"btFolder", K::Button, "Panel1", "Folder\u2026", 84, 20, 64, 24},
    {"lRecord", K::Label, "Panel1", "", 222, 24, 218, 17},

    {"GroupBox1", K::GroupBox, "Panel1", "Send Command", 16, 48, 593, 195},
    {"btn10", K::Button, "GroupBox1", "센서정보", 15, 31, 97, 33},
    RowLabel("Label2", "GroupBox1", "ID No", 150, 35, 31),
    {"eID", K::Edit, "GroupBox1", "1", 189, 35, 31, kEditHeight, 0, true},
    {"btIDchange", K::Button, "GroupBox1", "ID Change", 230, 31, 67, 33},
    {"btDATA", K::Button, "GroupBox1", "#DATA", 15, 85, 63, 25},
    {"btREAD", K::Button, "GroupBox1", "#READ", 87, 85, 63, 25},
    {"btStop", K::Button, "GroupBox1", "#STOP", 158, 85, 63, 25},
    {"btn25", K::Button, "GroupBox1", "#SAVE", 231, 85, 63, 25},
    Labeled("leRangeN", "GroupBox1", 8, 149),
    EditLabel("leRangeN.EditLabel", "GroupBox1", "-  범위(*10) ", 8, 149, 64),
    {"Button25", K::Button, "GroupBox1", "- 범위", 79, 145, 65, 25},
    Labeled("leRangeP", "GroupBox1", 153, 149),
    EditLabel("leRangeP.EditLabel", "GroupBox1", "+ 범위(*10) ", 153, 149, 65),
    {"Button26", K::Button, "GroupBox1", "+ 범위", 223, 145, 65, 25},
    {"ed360Send1", K::Edit, "GroupBox1", "#INFO", 311, 105, 202, kEditHeight},
    {"bt360Send1", K::Button, "GroupBox1", "Send", 519, 101, 65, 25},
    {"ed360Send2", K::Edit, "GroupBox1", "", 311, 135, 202, kEditHeight},
    {"bt360Send2", K::Button, "GroupBox1", "Send", 519, 132, 65, 25},
    {"ed360Send3", K::Edit, "GroupBox1", "", 311, 166, 202, kEditHeight},
    {"bt360Send3", K::Button, "GroupBox1", "Send", 519, 162, 65, 25},
    // The sensor reset was never offered.
    {"btn28", K::Button, "GroupBox1", "센서초기화", 15, 116, 97, 25, 0, false, true},

    {"GroupBox2", K::GroupBox, "GroupBox1", "ID 지정 측정", 304, 16, 281, 75},
    RowLabel("Label5", "GroupBox2", "ID No", 8, kRow1, 31),
    {"Edit1", K::Edit, "GroupBox2", "0", 43, kRow1, 31, kEditHeight},
    RowLabel("Label4", "GroupBox2", "Interval ( >= 200 )", 84, kRow1, 104),
    {"eInterval", K::Edit, "GroupBox2", "500", 192, kRow1, 40, kEditHeight},
    RowLabel("Label7", "GroupBox2", "msec", 236, kRow1, 30),
    RowLabel("Label3", "GroupBox2", "Sender Counter", 8, kRow2, 87),
    {"lCount", K::Label, "GroupBox2", "1", 99, kRow2, 40, kEditHeight, 13, false, false, true},
    RowLabel("Label6", "GroupBox2", "/", 143, kRow2, 4),
    {"eCount", K::Edit, "GroupBox2", "1", 151, kRow2, 40, kEditHeight},
    {"btB105", K::Button, "GroupBox2", "ID 측정", 206, kRow2 - 3, 67, 26},

    // The sensor's information.
    Labeled("lbeVersion", "Panel1", 24, 292),
    EditLabel("lbeVersion.EditLabel", "Panel1", "버전", 24, 292, 21),
    Labeled("lbeID", "Panel1", 96, 292),
    EditLabel("lbeID.EditLabel", "Panel1", "ID", 96, 292, 12),
    Labeled("lbeNRange", "Panel1", 24, 348),
    EditLabel("lbeNRange.EditLabel", "Panel1", "- 범위(*10) ", 24, 348, 60),
    Labeled("lbePRange", "Panel1", 96, 348),
    EditLabel("lbePRange.EditLabel", "Panel1", "+ 범위(*10) ", 96, 348, 65),
    Labeled("lbeMode", "Panel1", 24, 388, true),
    EditLabel("lbeMode.EditLabel", "Panel1", "방향 모드", 24, 388, 46, true),
    Labeled("lbeOffset", "Panel1", 96, 388, true),
    EditLabel("lbeOffset.EditLabel", "Panel1", "0도 보정값", 96, 388, 53, true),

    {"Label8", K::Label, "Panel1", "Recive Value", 24, 404, 70, kLabelHeight},
    {"btClear", K::Button, "Panel1", "Clear", 112, 400, 73, 25},
    {"Memo1", K::Memo, "Panel1", "", 16, 424, 169, 249, 16},

    // The connect panel, shown until connected, silver.
    {"Panel2", K::Panel, "", "", 192, 256, 257, 81},
    {"Label1", K::Label, "Panel2", "PortNo", 50, 44 - kLabelHeight - kEditLabelGap, 37,
     kLabelHeight},
    {"ePortNo", K::Combo, "Panel2", "COM1", 50, 44, 55, kEditHeight},
    {"Button3", K::Button, "Panel2", "Connect", 131, 16, 102, 49},

    // Fields the information fills but the window never shows, beyond its right edge.
    {"GroupBox4", K::GroupBox, "", "", 640, 16, 300, 400, 0, false, true},
    Labeled("lbeCalDone", "GroupBox4", 8, 32),
    EditLabel("lbeCalDone.EditLabel", "GroupBox4", "교정상태", 8, 32, 42),
    Labeled("lbeMVGain", "GroupBox4", 80, 32),
    EditLabel("lbeMVGain.EditLabel", "GroupBox4", "mV Gain 값", 80, 32, 62),
    Labeled("lbeMVOffset", "GroupBox4", 152, 32),
    EditLabel("lbeMVOffset.EditLabel", "GroupBox4", "mV 옵셋", 152, 32, 44),
#define KELTA_CAL(i, suffix, left, top)         \
  Labeled("lbeCal" #i, "GroupBox4", left, top), \
      EditLabel("lbeCal" #i ".EditLabel", "GroupBox4", "보상계수" suffix, left, top, 49)
    KELTA_CAL(0, "0", 8, 80),
    KELTA_CAL(1, "1", 80, 80),
    KELTA_CAL(2, "2", 152, 80),
    KELTA_CAL(3, "3", 224, 80),
    KELTA_CAL(4, "4", 8, 120),
    KELTA_CAL(5, "5", 80, 120),
    KELTA_CAL(6, "6", 152, 120),
    KELTA_CAL(7, "7", 224, 120),
    KELTA_CAL(8, "8", 8, 160),
    KELTA_CAL(9, "9", 80, 160),
    KELTA_CAL(10, "A", 152, 160),
    KELTA_CAL(11, "B", 224, 160),
#undef KELTA_CAL

    // The dial view with the readout inside it, and the two views that hold the needle and
    // dial pictures, beyond the window's right edge.
    {"Dst", K::View, "Panel1", "", 200, 272, 404, 404},
    {"ssaValue", K::View, "Dst", "", 144, 221, 113, 36},
    {"Src", K::View, "", "", 792, 384, 313, 305},
    {"ivBGR", K::View, "", "", 720, 112, 513, 521},

    {"StatusBar1", K::StatusBar, "", "", 0, kFormHeight - 19, kFormWidth, 19},
};

}  // namespace

std::span<const ControlLayout> FormLayout() { return kLayout; }

const ControlLayout& LayoutOf(std::string_view name) {
  for (const ControlLayout& c : kLayout)
    if (c.name == name) return c;
  throw std::out_of_range("No control \"" + std::string(name) + "\" in the form's layout");
}

std::string_view FormControlName(FormControl control) {
  switch (control) {
    case FormControl::Panel1:
      return "Panel1";
    case FormControl::Panel2:
      return "Panel2";
    case FormControl::ePortNo:
      return "ePortNo";
    case FormControl::eID:
      return "eID";
    case FormControl::Edit1:
      return "Edit1";
    case FormControl::eCount:
      return "eCount";
    case FormControl::eInterval:
      return "eInterval";
    case FormControl::lCount:
      return "lCount";
    case FormControl::leRangeN:
      return "leRangeN";
    case FormControl::leRangeP:
      return "leRangeP";
    case FormControl::ed360Send1:
      return "ed360Send1";
    case FormControl::ed360Send2:
      return "ed360Send2";
    case FormControl::ed360Send3:
      return "ed360Send3";
    case FormControl::Memo1:
      return "Memo1";
    case FormControl::lbeVersion:
      return "lbeVersion";
    case FormControl::lbeID:
      return "lbeID";
    case FormControl::lbeMode:
      return "lbeMode";
    case FormControl::lbeCalDone:
      return "lbeCalDone";
    case FormControl::lbeOffset:
      return "lbeOffset";
    case FormControl::lbeNRange:
      return "lbeNRange";
    case FormControl::lbePRange:
      return "lbePRange";
    case FormControl::lbeMVGain:
      return "lbeMVGain";
    case FormControl::lbeMVOffset:
      return "lbeMVOffset";
    case FormControl::lHealth:
      return "lHealth";
    case FormControl::btRecord:
      return "btRecord";
    case FormControl::btFolder:
      return "btFolder";
    case FormControl::lRecord:
      return "lRecord";
    default:
      break;
  }
  static constexpr std::string_view kCal[12] = {"lbeCal0", "lbeCal1", "lbeCal2",  "lbeCal3",
                                                "lbeCal4", "lbeCal5", "lbeCal6",  "lbeCal7",
                                                "lbeCal8", "lbeCal9", "lbeCal10", "lbeCal11"};
  const int cal = static_cast<int>(control) - static_cast<int>(FormControl::lbeCal0);
  if (cal >= 0 && cal < 12) return kCal[cal];
  throw std::logic_error("FormControl without a row in the layout");
}

}  // namespace kelta
