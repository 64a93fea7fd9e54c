// Every control of the main window at its fixed place, made by walking the form's layout table
// (console/form/FormLayout.h): a row added there is a widget here. Geometry is absolute, as the
// operator knows the screen; the window is not resizable.

#include "console/qt/UKELTA_Display.h"

#include "console/form/FormLayout.h"
#include "console/qt/AngleDisplay.h"
#include "console/qt/ClickablePanel.h"
#include "console/qt/LabeledEdit.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include <stdexcept>
#include <string>
#include <string_view>

namespace kelta {

namespace {

// Window fonts are given as character heights in pixels, not as point sizes.
QFont PixelFont(int pixels, bool bold = false) {
  QFont f;
  f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                 QStringLiteral("NanumGothic")});
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

template <class W>
W* Place(W* w, const QString& name, int left, int top, int width, int height) {
  w->setObjectName(name);
  w->setGeometry(left, top, width, height);
  return w;
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A control as the layout table has it: its name, place, size and font, hidden or not.
template <class W>
W* FromTable(W* w, const ControlLayout& c) {
  Place(w, FromUtf8(c.name), c.left, c.top, c.width, c.height);
  if (c.fontPixels != 0 || c.bold) {
    QFont f = c.fontPixels != 0 ? PixelFont(c.fontPixels) : w->font();
    f.setBold(c.bold);
    w->setFont(f);
  }
  if (c.hidden) w->hide();
  return w;
}

// The edit and its label, the row "<name>.EditLabel".
LabeledEdit* Labeled(QWidget* parent, const ControlLayout& c) {
  const ControlLayout& label = LayoutOf(std::string(c.name) + ".EditLabel");
  auto* e =
      new LabeledEdit(parent, FromUtf8(c.name), FromUtf8(label.caption), c.left, c.top, c.width);
  e->EditLabel()->setGeometry(label.left, label.top, label.width, label.height);
  if (c.hidden) e->hide();
  return e;
}

// Hints are kept with their controls but never shown (the window has hints off).
struct Hint {
  std::string_view control;
  const char* text;
};
constexpr Hint kHints[] = {
    {"btIDchange", "ID 변경"},
    {"btDATA", "ID와 관계없이 1회 측정"},
    {"btREAD", "연속으로 데이터 읽기"},
    {"btStop", "데이터 읽기 엄춤"},
    {"eInterval", "명령어 보내는 간격"},
    {"eCount", "1회 측정 명령어 보낼 횟수"},
    {"btB105", "ID에 해당하는 센서 1회 측정"},
};

QFrame* RaisedPanel(QFrame* panel) {
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);
  return panel;
}

// The widget of one row on `parent`; nullptr for an edit's label, which its edit makes. The
// views are the angle display's and the status bar has panels of its own: both made apart.
QWidget* MakeControl(const ControlLayout& c, QWidget* parent) {
  switch (c.kind) {
    case ControlKind::Panel: {
      // A panel with a click handler reports clicks on its bare background.
      QFrame* panel = c.click != nullptr ? new ClickablePanel(parent) : new QFrame(parent);
      return RaisedPanel(FromTable(panel, c));
    }
    case ControlKind::GroupBox:
      return FromTable(new QGroupBox(FromUtf8(c.caption), parent), c);
    case ControlKind::Button:
    case ControlKind::ToggleButton: {
      auto* b = FromTable(new QPushButton(FromUtf8(c.caption), parent), c);
      b->setCheckable(c.kind == ControlKind::ToggleButton);
      return b;
    }
    case ControlKind::Edit:
      return FromTable(new QLineEdit(FromUtf8(c.caption), parent), c);
    case ControlKind::LabeledEdit:
      return Labeled(parent, c);
    case ControlKind::Label: {
      if (c.name.ends_with(".EditLabel")) return nullptr;
      auto* l = FromTable(new QLabel(FromUtf8(c.caption), parent), c);
      if (c.rightAligned) l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      return l;
    }
    case ControlKind::Combo: {
      auto* combo = FromTable(new QComboBox(parent), c);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->setEditText(FromUtf8(c.caption));
      // 55 pixels hold "COM12" only with a slim drop-down button.
      combo->setStyleSheet(
          QStringLiteral("QComboBox { padding: 0px 0px 0px 2px; }"
                         "QComboBox::drop-down { width: 13px; }"));
      return combo;
    }
    case ControlKind::Memo: {
      auto* memo = FromTable(new QPlainTextEdit(parent), c);
      memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      memo->setLineWrapMode(QPlainTextEdit::NoWrap);
      memo->setMaximumBlockCount(ConsoleForm::kMemoLineLimit);
      return memo;
    }
    default:
      return nullptr;
  }
}

// The table's widget `name` as the type the window keeps it as.
template <class W>
W* Named(const TFVANTORIS& window, std::string_view name) {
  auto* w = qobject_cast<W*>(window.ControlNamed(name));
  if (w == nullptr) throw std::logic_error("\"" + std::string(name) + "\" is of another kind");
  return w;
}

}  // namespace

void TFVANTORIS::BuildControls() {
  setFont(PixelFont(kFormFontPixels));

  // In the table's order: later rows lie above earlier siblings and follow them in Tab order.
  for (const ControlLayout& c : FormLayout()) {
    if (c.kind == ControlKind::View || c.kind == ControlKind::StatusBar) continue;
    MakeControl(c, c.parent.empty() ? this : ControlNamed(c.parent));
  }
  for (const Hint& hint : kHints)
    ControlNamed(hint.control)->setProperty("Hint", QString::fromUtf8(hint.text));
  TakeControls();

  // The connect panel is silver.
  Panel2->setAutoFillBackground(true);
  QPalette pal = Panel2->palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  Panel2->setPalette(pal);

  angleDisplay_ = std::make_unique<AngleDisplay>(*this);
  Dst = angleDisplay_->Dst;
  Src = angleDisplay_->Src;
  ivBGR = angleDisplay_->ivBGR;
  ssaValue = angleDisplay_->ssaValue;

  StatusBar1 = FromTable(new QStatusBar(this), LayoutOf("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  // Fixed panel widths, as the layout table gives them: placed by hand rather than through
  // QStatusBar's layout, which would squeeze the second panel.
  const auto& widths = kStatusPanelWidths;
  int left = 0;
  for (int i = 0; i < 2; ++i) {
    auto* p = new QLabel(StatusBar1);
    p->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setGeometry(left, 0, widths[i], 19);
    p->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    p->setTextFormat(Qt::PlainText);
    p->setContentsMargins(2, 1, 2, 0);
    StatusPanels[static_cast<size_t>(i)] = p;
    left += widths[i];
  }
  StatusBar1->raise();
}

void TFVANTORIS::TakeControls() {
  Panel2 = Named<QFrame>(*this, "Panel2");
  Label1 = Named<QLabel>(*this, "Label1");
  ePortNo = Named<QComboBox>(*this, "ePortNo");
  Button3 = Named<QPushButton>(*this, "Button3");
  Panel1 = Named<ClickablePanel>(*this, "Panel1");
  GroupBox4 = Named<QGroupBox>(*this, "GroupBox4");
  lbeCalDone = Named<LabeledEdit>(*this, "lbeCalDone");
  lbeMVGain = Named<LabeledEdit>(*this, "lbeMVGain");
  lbeMVOffset = Named<LabeledEdit>(*this, "lbeMVOffset");
  for (int i = 0; i < 12; ++i)
    lbeCal[static_cast<size_t>(i)] = Named<LabeledEdit>(*this, "lbeCal" + std::to_string(i));
  btHelp = Named<QPushButton>(*this, "btHelp");
  btClose = Named<QPushButton>(*this, "btClose");
  GroupBox1 = Named<QGroupBox>(*this, "GroupBox1");
  btn10 = Named<QPushButton>(*this, "btn10");
  Label2 = Named<QLabel>(*this, "Label2");
  eID = Named<QLineEdit>(*this, "eID");
  btIDchange = Named<QPushButton>(*this, "btIDchange");
  btDATA = Named<QPushButton>(*this, "btDATA");
  btREAD = Named<QPushButton>(*this, "btREAD");
  btStop = Named<QPushButton>(*this, "btStop");
  btn25 = Named<QPushButton>(*this, "btn25");
  leRangeN = Named<LabeledEdit>(*this, "leRangeN");
  Button25 = Named<QPushButton>(*this, "Button25");
  leRangeP = Named<LabeledEdit>(*this, "leRangeP");
  Button26 = Named<QPushButton>(*this, "Button26");
  for (int i = 0; i < 3; ++i) {
    const std::string number = std::to_string(i + 1);
    ed360Send[static_cast<size_t>(i)] = Named<QLineEdit>(*this, "ed360Send" + number);
    bt360Send[static_cast<size_t>(i)] = Named<QPushButton>(*this, "bt360Send" + number);
  }
  GroupBox2 = Named<QGroupBox>(*this, "GroupBox2");
  Label5 = Named<QLabel>(*this, "Label5");
  Edit1 = Named<QLineEdit>(*this, "Edit1");
  Label3 = Named<QLabel>(*this, "Label3");
  lCount = Named<QLabel>(*this, "lCount");
  btRecord = Named<QPushButton>(*this, "btRecord");
  btFolder = Named<QPushButton>(*this, "btFolder");
  btTrend = Named<QPushButton>(*this, "btTrend");
  lRecord = Named<QLabel>(*this, "lRecord");
  lHealth = Named<QLabel>(*this, "lHealth");
  Label6 = Named<QLabel>(*this, "Label6");
  eCount = Named<QLineEdit>(*this, "eCount");
  Label4 = Named<QLabel>(*this, "Label4");
  eInterval = Named<QLineEdit>(*this, "eInterval");
  Label7 = Named<QLabel>(*this, "Label7");
  btB105 = Named<QPushButton>(*this, "btB105");
  btn28 = Named<QPushButton>(*this, "btn28");
  lbeVersion = Named<LabeledEdit>(*this, "lbeVersion");
  lbeID = Named<LabeledEdit>(*this, "lbeID");
  lbeNRange = Named<LabeledEdit>(*this, "lbeNRange");
  lbePRange = Named<LabeledEdit>(*this, "lbePRange");
  lbeMode = Named<LabeledEdit>(*this, "lbeMode");
  lbeOffset = Named<LabeledEdit>(*this, "lbeOffset");
  Label8 = Named<QLabel>(*this, "Label8");
  btClear = Named<QPushButton>(*this, "btClear");
  Memo1 = Named<QPlainTextEdit>(*this, "Memo1");
}

}  // namespace kelta
