// The angle display, and the "Clear" button.

#include "console/AngleDisplay.h"

#include "console/ClickablePanel.h"
#include "console/LabeledEdit.h"
#include "console/UKELTA_Display.h"
#include "graphics/dial/DialComposer.h"
#include "graphics/dial/DialReadout.h"

#include "sevenseg/iSevenSegmentAnalog.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace kelta {

std::optional<std::string> DialPictureFor(const QString& positiveRange, const QString& mode) {
  // Modes "0" and "1" turn the needle clockwise for a positive reading, "2" and "3" the
  // other way; each pair has a full-turn dial and a partial-range one.
  const bool clockwise = mode == QStringLiteral("0") || mode == QStringLiteral("1");
  const bool counterClockwise = mode == QStringLiteral("2") || mode == QStringLiteral("3");
  if (!clockwise && !counterClockwise) return std::nullopt;
  const bool fullTurn = positiveRange == QStringLiteral("3600");
  if (fullTurn) return clockwise ? "img/Mode0.png" : "img/Mode2.png";
  return clockwise ? "img/Mode1.png" : "img/Mode3.png";
}

float DialAngleFor(double value, const QString& mode) {
  return gfx::DialAngleFor(value, mode.toStdString());
}

namespace {

template <class W>
W* Place(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  return w;
}

}  // namespace

AngleDisplay::AngleDisplay(TFVANTORIS& window) : window_(window) {
  Dst = Place(new gfx::TImage32(window.Panel1), "Dst", 200, 272, 404, 404);
  // The two holders lie beyond the client area's right edge: never seen.
  Src = Place(new gfx::TImage32(&window), "Src", 792, 384, 313, 305);
  ivBGR = Place(new gfx::TImage32(&window), "ivBGR", 720, 112, 513, 521);

  ssaValue = gfx::CreateDialReadout(*Dst);
  ssaValue->setObjectName(QStringLiteral("ssaValue"));

  composer_ = std::make_unique<gfx::TDialComposer>(gfx::TDialViews{*Dst, *Src, *ivBGR});

  window.AngleReceived.Attach([this](double value) { ShowAngle(value); });
  window.DialSettingsRead.Attach(
      [this](const QString& range, const QString& mode) { ChooseDialPicture(range, mode); });
}

AngleDisplay::~AngleDisplay() = default;

void AngleDisplay::ShowAngle(double value) {
  ssaValue->SetValue(value);
  // The direction is read for every value: a new information reply turns the very next one.
  composer_->DrawDial(DialAngleFor(value, window_.lbeMode->text()));
}

void AngleDisplay::ChooseDialPicture(const QString& positiveRange, const QString& mode) {
  if (const auto file = DialPictureFor(positiveRange, mode)) composer_->LoadDialImages(*file);
}

void AngleDisplay::Clear() {
  composer_->DrawDial(0);
  ssaValue->SetValue(0);
}

void TFVANTORIS::btClearClick() {
  Memo1->clear();
  angleDisplay_->Clear();
  lCount->setText(QStringLiteral("1"));
}

}  // namespace kelta
