// Every control of the main window at its fixed place. Geometry is absolute, as the operator
// knows the screen; the window is not resizable.

#include "console/UKELTA_Display.h"

#include "console/AngleDisplay.h"
#include "console/ClickablePanel.h"
#include "console/LabeledEdit.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

namespace kelta {

namespace {

constexpr int kEditHeight = 21;

// Window fonts are given as character heights in pixels (the original's negative heights).
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

QPushButton* Button(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                    int width = 75, int height = 25) {
  return Place(new QPushButton(caption, parent), name, left, top, width, height);
}

QLineEdit* Edit(QWidget* parent, const QString& name, const QString& text, int left, int top,
                int width) {
  return Place(new QLineEdit(text, parent), name, left, top, width, kEditHeight);
}

// A label sized to its caption, vertically centred on an edit row starting at `rowTop`.
QLabel* Label(QWidget* parent, const QString& name, const QString& caption, int left, int rowTop) {
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
  setFont(PixelFont(11));

  BuildConsolePanel();
  BuildConnectPanel();
  BuildHiddenHolders();
  angleDisplay_ = std::make_unique<AngleDisplay>(*this);
  Dst = angleDisplay_->Dst;
  Src = angleDisplay_->Src;
  ivBGR = angleDisplay_->ivBGR;
  ssaValue = angleDisplay_->ssaValue;

  StatusBar1 = Place(new QStatusBar(this), QStringLiteral("StatusBar1"), 0, 721 - 19, 618, 19);
  StatusBar1->setSizeGripEnabled(false);
  // Fixed panel widths, as the original's status bar had: placed by hand rather than through
  // QStatusBar's layout, which would squeeze the second panel.
  const int widths[2] = {300, 360};
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
  Panel2 = RaisedPanel(Place(new QFrame(this), QStringLiteral("Panel2"), 192, 256, 257, 81));
  Panel2->setAutoFillBackground(true);
  QPalette pal = Panel2->palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));  // silver
  Panel2->setPalette(pal);

  Label1 = new QLabel(QStringLiteral("PortNo"), Panel2);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->adjustSize();
  Label1->move(50, 44 - Label1->height() - 3);
  ePortNo = Place(new QComboBox(Panel2), QStringLiteral("ePortNo"), 50, 44, 55, kEditHeight);
  ePortNo->setEditable(true);
  ePortNo->setInsertPolicy(QComboBox::NoInsert);
  ePortNo->setEditText(QStringLiteral("COM1"));
  // 55 pixels hold "COM12" only with a slim drop-down button.
  ePortNo->setStyleSheet(
      QStringLiteral("QComboBox { padding: 0px 0px 0px 2px; }"
                     "QComboBox::drop-down { width: 13px; }"));
  Button3 = Button(Panel2, QStringLiteral("Button3"), QStringLiteral("Connect"), 131, 16, 102, 49);
}

void TFVANTORIS::BuildConsolePanel() {
  Panel1 = Place(new ClickablePanel(this), QStringLiteral("Panel1"), 0, 0, 617, 705);
  RaisedPanel(Panel1);
  Panel1->hide();

  btHelp = Button(Panel1, QStringLiteral("btHelp"), QStringLiteral("Help"), 448, 16);
  btHelp->setFont(PixelFont(13));
  btClose = Button(Panel1, QStringLiteral("btClose"), QStringLiteral("Close"), 534, 16);
  // The free band left of Help: the live health line.
  lHealth = Place(new QLabel(Panel1), QStringLiteral("lHealth"), 16, 20, 420, 17);

  BuildCommandGroup();
  BuildInfoFields();

  Label8 = new QLabel(QStringLiteral("Recive Value"), Panel1);
  Label8->setObjectName(QStringLiteral("Label8"));
  Label8->adjustSize();
  Label8->move(24, 404);
  btClear = Button(Panel1, QStringLiteral("btClear"), QStringLiteral("Clear"), 112, 400, 73, 25);
  Memo1 = Place(new QPlainTextEdit(Panel1), QStringLiteral("Memo1"), 16, 424, 169, 249);
  Memo1->setFont(PixelFont(16));
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setMaximumBlockCount(TConsoleForm::kMemoLineLimit);
}

void TFVANTORIS::BuildCommandGroup() {
  GroupBox1 = Place(new QGroupBox(QStringLiteral("Send Command"), Panel1),
                    QStringLiteral("GroupBox1"), 16, 48, 593, 195);
  QWidget* g = GroupBox1;

  btn10 = Button(g, QStringLiteral("btn10"), QStringLiteral("센서정보"), 15, 31, 97, 33);
  Label2 = Label(g, QStringLiteral("Label2"), QStringLiteral("ID No"), 150, 35);
  eID = Edit(g, QStringLiteral("eID"), QStringLiteral("1"), 189, 35, 31);
  QFont bold = eID->font();
  bold.setBold(true);
  eID->setFont(bold);
  btIDchange =
      Button(g, QStringLiteral("btIDchange"), QStringLiteral("ID Change"), 230, 31, 67, 33);
  Hint(btIDchange, QStringLiteral("ID 변경"));

  btDATA = Button(g, QStringLiteral("btDATA"), QStringLiteral("#DATA"), 15, 85, 63, 25);
  Hint(btDATA, QStringLiteral("ID와 관계없이 1회 측정"));
  btREAD = Button(g, QStringLiteral("btREAD"), QStringLiteral("#READ"), 87, 85, 63, 25);
  Hint(btREAD, QStringLiteral("연속으로 데이터 읽기"));
  btStop = Button(g, QStringLiteral("btStop"), QStringLiteral("#STOP"), 158, 85, 63, 25);
  Hint(btStop, QStringLiteral("데이터 읽기 엄춤"));
  btn25 = Button(g, QStringLiteral("btn25"), QStringLiteral("#SAVE"), 231, 85, 63, 25);

  leRangeN =
      new LabeledEdit(g, QStringLiteral("leRangeN"), QStringLiteral("-  범위(*10) "), 8, 149, 65);
  Button25 = Button(g, QStringLiteral("Button25"), QStringLiteral("- 범위"), 79, 145, 65, 25);
  leRangeP =
      new LabeledEdit(g, QStringLiteral("leRangeP"), QStringLiteral("+ 범위(*10) "), 153, 149, 65);
  Button26 = Button(g, QStringLiteral("Button26"), QStringLiteral("+ 범위"), 223, 145, 65, 25);

  const int editTops[3] = {105, 135, 166};
  const int buttonTops[3] = {101, 132, 162};
  for (int i = 0; i < 3; ++i) {
    const auto n = static_cast<size_t>(i);
    ed360Send[n] = Edit(g, QStringLiteral("ed360Send%1").arg(i + 1),
                        i == 0 ? QStringLiteral("#INFO") : QString(), 311, editTops[i], 202);
    bt360Send[n] = Button(g, QStringLiteral("bt360Send%1").arg(i + 1), QStringLiteral("Send"), 519,
                          buttonTops[i], 65, 25);
  }

  btn28 = Button(g, QStringLiteral("btn28"), QStringLiteral("센서초기화"), 15, 116, 97, 25);
  btn28->hide();  // the sensor reset was never offered

  BuildMeasureGroup();
}

void TFVANTORIS::BuildMeasureGroup() {
  GroupBox2 = Place(new QGroupBox(QStringLiteral("ID 지정 측정"), GroupBox1),
                    QStringLiteral("GroupBox2"), 304, 16, 281, 75);
  QWidget* g = GroupBox2;
  // Two rows: what to poll and how often, then how many passes and the button.
  const int row1 = 18;
  const int row2 = 46;

  Label5 = Label(g, QStringLiteral("Label5"), QStringLiteral("ID No"), 8, row1);
  Edit1 = Edit(g, QStringLiteral("Edit1"), QStringLiteral("0"), Label5->x() + Label5->width() + 4,
               row1, 31);
  Label4 = Label(g, QStringLiteral("Label4"), QStringLiteral("Interval ( >= 200 )"),
                 Edit1->x() + Edit1->width() + 10, row1);
  eInterval = Edit(g, QStringLiteral("eInterval"), QStringLiteral("500"),
                   Label4->x() + Label4->width() + 4, row1, 40);
  Hint(eInterval, QStringLiteral("명령어 보내는 간격"));
  Label7 = Label(g, QStringLiteral("Label7"), QStringLiteral("msec"),
                 eInterval->x() + eInterval->width() + 4, row1);

  Label3 = Label(g, QStringLiteral("Label3"), QStringLiteral("Sender Counter"), 8, row2);
  lCount = new QLabel(QStringLiteral("1"), g);
  lCount->setObjectName(QStringLiteral("lCount"));
  lCount->setFont(PixelFont(13));
  lCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lCount->setGeometry(Label3->x() + Label3->width() + 4, row2, 40, kEditHeight);
  Label6 = Label(g, QStringLiteral("Label6"), QStringLiteral("/"),
                 lCount->x() + lCount->width() + 4, row2);
  eCount = Edit(g, QStringLiteral("eCount"), QStringLiteral("1"), Label6->x() + Label6->width() + 4,
                row2, 40);
  Hint(eCount, QStringLiteral("1회 측정 명령어 보낼 횟수"));
  btB105 = Button(g, QStringLiteral("btB105"), QStringLiteral("ID 측정"), 281 - 8 - 67, row2 - 3,
                  67, 26);
  Hint(btB105, QStringLiteral("ID에 해당하는 센서 1회 측정"));
}

void TFVANTORIS::BuildInfoFields() {
  QWidget* p = Panel1;
  lbeVersion =
      new LabeledEdit(p, QStringLiteral("lbeVersion"), QStringLiteral("버전"), 24, 292, 65);
  lbeID = new LabeledEdit(p, QStringLiteral("lbeID"), QStringLiteral("ID"), 96, 292, 65);
  lbeNRange =
      new LabeledEdit(p, QStringLiteral("lbeNRange"), QStringLiteral("- 범위(*10) "), 24, 348, 65);
  lbePRange =
      new LabeledEdit(p, QStringLiteral("lbePRange"), QStringLiteral("+ 범위(*10) "), 96, 348, 65);
  lbeMode = new LabeledEdit(p, QStringLiteral("lbeMode"), QStringLiteral("방향 모드"), 24, 388, 65);
  lbeOffset =
      new LabeledEdit(p, QStringLiteral("lbeOffset"), QStringLiteral("0도 보정값"), 96, 388, 65);
  lbeMode->hide();
  lbeOffset->hide();
}

void TFVANTORIS::BuildHiddenHolders() {
  GroupBox4 = Place(new QGroupBox(this), QStringLiteral("GroupBox4"), 640, 16, 300, 400);
  QWidget* g = GroupBox4;
  lbeCalDone =
      new LabeledEdit(g, QStringLiteral("lbeCalDone"), QStringLiteral("교정상태"), 8, 32, 65);
  lbeMVGain =
      new LabeledEdit(g, QStringLiteral("lbeMVGain"), QStringLiteral("mV Gain 값"), 80, 32, 65);
  lbeMVOffset =
      new LabeledEdit(g, QStringLiteral("lbeMVOffset"), QStringLiteral("mV 옵셋"), 152, 32, 65);
  static const char* const kSuffix = "0123456789AB";
  for (int i = 0; i < 12; ++i) {
    lbeCal[static_cast<size_t>(i)] = new LabeledEdit(
        g, QStringLiteral("lbeCal%1").arg(i), QStringLiteral("보상계수") + QLatin1Char(kSuffix[i]),
        8 + (i % 4) * 72, 80 + (i / 4) * 40, 65);
  }
  GroupBox4->hide();
}

}  // namespace kelta
