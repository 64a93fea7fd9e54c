// The angle display's views: the needle turned under the dial, and the readout.

#include "console/qt/AngleDisplay.h"

#include "console/qt/ClickablePanel.h"
#include "console/qt/UKELTA_Display.h"
#include "graphics/dial/DialComposer.h"
#include "graphics/qt/DialReadout.h"
#include "graphics/qt/Image32.h"

#include "sevenseg/SevenSegmentCanvas.h"
#include "sevenseg/qt/iSevenSegmentAnalog.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace kelta {

namespace {

// How much of the dial view a lost sensor washes out: plainly marked, still readable.
constexpr int kNotLiveVeil = 150;  // alpha of the window-grey veil over it

template <class W>
W* Place(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  return w;
}

}  // namespace

AngleDisplay::AngleDisplay(TFVANTORIS& window) {
  Dst = Place(new gfx::TImage32(window.Panel1), "Dst", 200, 272, 404, 404);
  // The two holders lie beyond the client area's right edge: never seen.
  Src = Place(new gfx::TImage32(&window), "Src", 792, 384, 313, 305);
  ivBGR = Place(new gfx::TImage32(&window), "ivBGR", 720, 112, 513, 521);

  ssaValue = gfx::CreateDialReadout(*Dst);
  ssaValue->setObjectName(QStringLiteral("ssaValue"));

  composer_ = std::make_unique<gfx::DialComposer>(gfx::DialViews{*Dst, *Src, *ivBGR});

  // A translucent veil over the dial view, needle and readout, shown while not live. It lies
  // on top as a child of its own, so the picture's composition stays as it is.
  veil_ = new QWidget(Dst);
  veil_->setObjectName(QStringLiteral("notLiveVeil"));
  veil_->setGeometry(Dst->rect());
  veil_->setAttribute(Qt::WA_TransparentForMouseEvents);
  QPalette palette = veil_->palette();
  palette.setColor(QPalette::Window, QColor(240, 240, 240, kNotLiveVeil));
  veil_->setPalette(palette);
  veil_->setAutoFillBackground(true);
  veil_->hide();
}

AngleDisplay::~AngleDisplay() = default;

void AngleDisplay::LoadDialImages(const std::string& file) { composer_->LoadDialImages(file); }

void AngleDisplay::ShowAngle(double value, const std::string& mode) {
  ssaValue->SetValue(value);
  composer_->DrawDial(gfx::DialAngleFor(value, mode));
}

void AngleDisplay::SetLive(bool live) {
  if (live == live_) return;
  live_ = live;
  ShowState();
}

void AngleDisplay::SetStale(bool stale) {
  if (stale == stale_) return;
  stale_ = stale;
  ShowState();
}

void AngleDisplay::ShowState() {
  const bool current = live_ && !stale_;
  // The colour the readout had while current is kept when it first stops being so.
  if (!current && !marked_) liveColor_ = ssaValue->SegmentColor();
  marked_ = !current;
  ssaValue->SetSegmentColor(current ? liveColor_ : !live_ ? sevenseg::clGray : sevenseg::clGreen);
  ssaValue->setToolTip(!live_   ? QStringLiteral("Not live: the sensor's port is lost")
                       : stale_ ? QStringLiteral("Stale: no reading has come for a while")
                                : QString());
  // The needle is turned under the dial by the composer; veiling the whole view marks it
  // without touching how the picture is composed.
  veil_->setVisible(!live_);
  if (!live_) veil_->raise();
}

}  // namespace kelta
