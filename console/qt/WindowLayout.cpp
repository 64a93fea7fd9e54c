// Every control of the main window at its fixed place, as the form's layout table
// (console/form/FormLayout.h) has it. Geometry is absolute, as the operator knows the screen;
// the window is not resizable.

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

QPushButton* Button(QWidget* parent, std::string_view name) {
  const ControlLayout& c = LayoutOf(name);
  auto* b = FromTable(new QPushButton(FromUtf8(c.caption), parent), c);
  b->setCheckable(c.kind == ControlKind::ToggleButton);
  return b;
}

QLineEdit* Edit(QWidget* parent, std::string_view name) {
  const ControlLayout& c = LayoutOf(name);
  return FromTable(new QLineEdit(FromUtf8(c.caption), parent), c);
}

QLabel* Label(QWidget* parent, std::string_view name) {
  const ControlLayout& c = LayoutOf(name);
  auto* l = FromTable(new QLabel(FromUtf8(c.caption), parent), c);
  if (c.rightAligned) l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

QGroupBox* Group(QWidget* parent, std::string_view name) {
  const ControlLayout& c = LayoutOf(name);
  return FromTable(new QGroupBox(FromUtf8(c.caption), parent), c);
}

// The edit and its label "<name>.EditLabel".
LabeledEdit* Labeled(QWidget* parent, std::string_view name) {
  const ControlLayout& c = LayoutOf(name);
  const ControlLayout& label = LayoutOf(std::string(name) + ".EditLabel");
  auto* e =
      new LabeledEdit(parent, FromUtf8(c.name), FromUtf8(label.caption), c.left, c.top, c.width);
  e->EditLabel()->setGeometry(label.left, label.top, label.width, label.height);
  if (c.hidden) e->hide();
  return e;
}

[[maybe_unused]] QPushButton* Button(QWidget* parent, const QString& name, const QString& caption,
                                     int left, int top, int width = 75, int height = 25) {
  return Place(new QPushButton(caption, parent), name, left, top, width, height);
}

[[maybe_unused]] QLineEdit* Edit(QWidget* parent, const QString& name, const QString& text,
                                 int left, int top, int width) {
  return Place(new QLineEdit(text, parent), name, left, top, width, kEditHeight);
}

// A label sized to its caption, vertically centred on an edit row starting at `rowTop`.
[[maybe_unused]] QLabel* Label(QWidget* parent, const QString& name, const QString& caption,
                               int left, int rowTop) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(name);
  l->adjustSize();
  l->move(left, rowTop + (kEditHeight - l->height()) / 2);
  return l;
}

// Hints are kept with their controls but never shown (the window has hints off).
void Hint(QWidget* w, const QString& text) { w->setProperty("Hint", text); }

QFrame* RaisedPanel(QFrame* panel) {
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);
  return panel;
}

}  // namespace

void TFVANTORIS::BuildControls() {
  setFont(PixelFont(kFormFontPixels));

  BuildConsolePanel();
  BuildConnectPanel();
  BuildHiddenHolders();
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

void TFVANTORIS::BuildConnectPanel() {
  Panel2 = RaisedPanel(FromTable(new QFrame(this), LayoutOf("Panel2")));
  Panel2->setAutoFillBackground(true);
  QPalette pal = Panel2->palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));  // silver
  Panel2->setPalette(pal);

  Label1 = Label(Panel2, "Label1");
  const ControlLayout& port = LayoutOf("ePortNo");
  ePortNo = FromTable(new QComboBox(Panel2), port);
  ePortNo->setEditable(true);
  ePortNo->setInsertPolicy(QComboBox::NoInsert);
  ePortNo->setEditText(FromUtf8(port.caption));
  // 55 pixels hold "COM12" only with a slim drop-down button.
  ePortNo->setStyleSheet(
      QStringLiteral("QComboBox { padding: 0px 0px 0px 2px; }"
                     "QComboBox::drop-down { width: 13px; }"));
  Button3 = Button(Panel2, "Button3");
}

void TFVANTORIS::BuildConsolePanel() {
  Panel1 = FromTable(new ClickablePanel(this), LayoutOf("Panel1"));
  RaisedPanel(Panel1);

  btHelp = Button(Panel1, "btHelp");
  btClose = Button(Panel1, "btClose");
  // The free band left of Help: the live health line, under it the recording's toggle, its
  // folder chooser and the label naming the file.
  lHealth = Label(Panel1, "lHealth");
  btRecord = Button(Panel1, "btRecord");
  btFolder = Button(Panel1, "btFolder");
  lRecord = Label(Panel1, "lRecord");

  BuildCommandGroup();
  BuildInfoFields();

  Label8 = Label(Panel1, "Label8");
  btClear = Button(Panel1, "btClear");
  Memo1 = FromTable(new QPlainTextEdit(Panel1), LayoutOf("Memo1"));
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setMaximumBlockCount(ConsoleForm::kMemoLineLimit);
}

void TFVANTORIS::BuildCommandGroup() {
  GroupBox1 = Group(Panel1, "GroupBox1");
  QWidget* g = GroupBox1;

  btn10 = Button(g, "btn10");
  Label2 = Label(g, "Label2");
  eID = Edit(g, "eID");
  btIDchange = Button(g, "btIDchange");
  Hint(btIDchange, QStringLiteral("ID 변경"));

  btDATA = Button(g, "btDATA");
  Hint(btDATA, QStringLiteral("ID와 관계없이 1회 측정"));
  btREAD = Button(g, "btREAD");
  Hint(btREAD, QStringLiteral("연속으로 데이터 읽기"));
  btStop = Button(g, "btStop");
  Hint(btStop, QStringLiteral("데이터 읽기 엄춤"));
  btn25 = Button(g, "btn25");

  leRangeN = Labeled(g, "leRangeN");
  Button25 = Button(g, "Button25");
  leRangeP = Labeled(g, "leRangeP");
  Button26 = Button(g, "Button26");

  for (int i = 0; i < 3; ++i) {
    const auto n = static_cast<size_t>(i);
    const std::string number = std::to_string(i + 1);
    ed360Send[n] = Edit(g, "ed360Send" + number);
    bt360Send[n] = Button(g, "bt360Send" + number);
  }

  btn28 = Button(g, "btn28");  // the sensor reset was never offered

  BuildMeasureGroup();
}

void TFVANTORIS::BuildMeasureGroup() {
  GroupBox2 = Group(GroupBox1, "GroupBox2");
  QWidget* g = GroupBox2;

  Label5 = Label(g, "Label5");
  Edit1 = Edit(g, "Edit1");
  Label4 = Label(g, "Label4");
  eInterval = Edit(g, "eInterval");
  Hint(eInterval, QStringLiteral("명령어 보내는 간격"));
  Label7 = Label(g, "Label7");

  Label3 = Label(g, "Label3");
  lCount = Label(g, "lCount");
  Label6 = Label(g, "Label6");
  eCount = Edit(g, "eCount");
  Hint(eCount, QStringLiteral("1회 측정 명령어 보낼 횟수"));
  btB105 = Button(g, "btB105");
  Hint(btB105, QStringLiteral("ID에 해당하는 센서 1회 측정"));
}

void TFVANTORIS::BuildInfoFields() {
  QWidget* p = Panel1;
  lbeVersion = Labeled(p, "lbeVersion");
  lbeID = Labeled(p, "lbeID");
  lbeNRange = Labeled(p, "lbeNRange");
  lbePRange = Labeled(p, "lbePRange");
  lbeMode = Labeled(p, "lbeMode");
  lbeOffset = Labeled(p, "lbeOffset");
}

void TFVANTORIS::BuildHiddenHolders() {
  GroupBox4 = Group(this, "GroupBox4");
  QWidget* g = GroupBox4;
  lbeCalDone = Labeled(g, "lbeCalDone");
  lbeMVGain = Labeled(g, "lbeMVGain");
  lbeMVOffset = Labeled(g, "lbeMVOffset");
  for (int i = 0; i < 12; ++i)
    lbeCal[static_cast<size_t>(i)] = Labeled(g, "lbeCal" + std::to_string(i));
}

}  // namespace kelta
