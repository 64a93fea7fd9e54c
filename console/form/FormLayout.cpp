#include "console/form/FormLayout.h"

#include "console/form/ConsoleForm.h"

#include <iterator>
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

// A row whose click runs `handler`.
constexpr ControlLayout On(ControlLayout c, FormClick handler) {
  c.click = handler;
  return c;
}

using F = ConsoleForm;

constexpr ControlLayout kLayout[] = {
    // The console panel, shown once connected.
    // A click on its bare background sends the first raw line.
    On({"Panel1", K::Panel, "", "", 0, 0, 617, 705, 0, false, true}, &F::bt360Send1Click),
    On({"btHelp", K::Button, "Panel1", "Help", 448, 16, 75, 25, 13}, &F::btHelpClick),
    On({"btClose", K::Button, "Panel1", "Close", 534, 16, 75, 25}, &F::btCloseClick),
    // The free band left of Help: the live health line, under it the recording's toggle
    // ("Record", checkable), its folder chooser, the trend's button and the label naming the
    // file.
    {"lHealth", K::Label, "Panel1", "", 16, 3, 420, 15},
    On({"btRecord", K::ToggleButton, "Panel1", "Record", 16, 20, 64, 24}, &F::btRecordClick),
    On({"btFolder", K::Button, "Panel1", "Folder\u2026", 84, 20, 64, 24}, &F::btFolderClick),
    On({"btTrend", K::Button, "Panel1", "Trend", 152, 20, 64, 24}, &F::btTrendClick),
    {"lRecord", K::Label, "Panel1", "", 222, 24, 218, 17},

    {"GroupBox1", K::GroupBox, "Panel1", "Send Command", 16, 48, 593, 195},
    On({"btn10", K::Button, "GroupBox1", "센서정보", 15, 31, 97, 33}, &F::btn10Click),
    RowLabel("Label2", "GroupBox1", "ID No", 150, 35, 31),
    {"eID", K::Edit, "GroupBox1", "1", 189, 35, 31, kEditHeight, 0, true},
    On({"btIDchange", K::Button, "GroupBox1", "ID Change", 230, 31, 67, 33}, &F::btIDchangeClick),
    On({"btDATA", K::Button, "GroupBox1", "#DATA", 15, 85, 63, 25}, &F::btDATAClick),
    On({"btREAD", K::Button, "GroupBox1", "#READ", 87, 85, 63, 25}, &F::btREADClick),
    On({"btStop", K::Button, "GroupBox1", "#STOP", 158, 85, 63, 25}, &F::btStopClick),
    On({"btn25", K::Button, "GroupBox1", "#SAVE", 231, 85, 63, 25}, &F::btn25Click),
    Labeled("leRangeN", "GroupBox1", 8, 149),
    EditLabel("leRangeN.EditLabel", "GroupBox1", "-  범위(*10) ", 8, 149, 64),
    On({"Button25", K::Button, "GroupBox1", "- 범위", 79, 145, 65, 25}, &F::Button25Click),
    Labeled("leRangeP", "GroupBox1", 153, 149),
    EditLabel("leRangeP.EditLabel", "GroupBox1", "+ 범위(*10) ", 153, 149, 65),
    On({"Button26", K::Button, "GroupBox1", "+ 범위", 223, 145, 65, 25}, &F::Button26Click),
    {"ed360Send1", K::Edit, "GroupBox1", "#INFO", 311, 105, 202, kEditHeight},
    On({"bt360Send1", K::Button, "GroupBox1", "Send", 519, 101, 65, 25}, &F::bt360Send1Click),
    {"ed360Send2", K::Edit, "GroupBox1", "", 311, 135, 202, kEditHeight},
    On({"bt360Send2", K::Button, "GroupBox1", "Send", 519, 132, 65, 25}, &F::bt360Send2Click),
    {"ed360Send3", K::Edit, "GroupBox1", "", 311, 166, 202, kEditHeight},
    On({"bt360Send3", K::Button, "GroupBox1", "Send", 519, 162, 65, 25}, &F::bt360Send3Click),
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
    On({"btB105", K::Button, "GroupBox2", "ID 측정", 206, kRow2 - 3, 67, 26}, &F::btB105Click),

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
    On({"btClear", K::Button, "Panel1", "Clear", 112, 400, 73, 25}, &F::btClearClick),
    {"Memo1", K::Memo, "Panel1", "", 16, 424, 169, 249, 16},

    // The connect panel, shown until connected, silver.
    {"Panel2", K::Panel, "", "", 192, 256, 257, 81},
    {"Label1", K::Label, "Panel2", "PortNo", 50, 44 - kLabelHeight - kEditLabelGap, 37,
     kLabelHeight},
    {"ePortNo", K::Combo, "Panel2", "COM1", 50, 44, 55, kEditHeight},
    On({"Button3", K::Button, "Panel2", "Connect", 131, 16, 102, 49}, &F::Button3Click),

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
  // In FormControl's order.
  static constexpr std::string_view kNames[] = {
      "Panel1",     "Panel2",    "ePortNo",    "eID",       "Edit1",       "eCount",
      "eInterval",  "lCount",    "leRangeN",   "leRangeP",  "ed360Send1",  "ed360Send2",
      "ed360Send3", "Memo1",     "lbeVersion", "lbeID",     "lbeMode",     "lbeCalDone",
      "lbeOffset",  "lbeNRange", "lbePRange",  "lbeMVGain", "lbeMVOffset", "lbeCal0",
      "lbeCal1",    "lbeCal2",   "lbeCal3",    "lbeCal4",   "lbeCal5",     "lbeCal6",
      "lbeCal7",    "lbeCal8",   "lbeCal9",    "lbeCal10",  "lbeCal11",    "lHealth",
      "btRecord",   "btFolder",  "lRecord"};
  static_assert(std::size(kNames) == kFormControlCount, "a name for every FormControl");
  const int index = static_cast<int>(control);
  if (index < 0 || index >= kFormControlCount)
    throw std::logic_error("FormControl without a row in the layout");
  return kNames[index];
}

}  // namespace kelta
