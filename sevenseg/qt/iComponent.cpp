#include "sevenseg/qt/iComponent.h"

#include <QEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>

#include "sevenseg/qt/QtCanvas.h"

namespace kelta::sevenseg {

TiComponent::TiComponent(QWidget* parent)
    : QWidget(parent),
      backGroundColor_(FromQColor(palette().color(QPalette::Button))),
      clock_([] { return std::chrono::steady_clock::now(); }),
      lastRepaint_(clock_()) {
  // Every pixel is painted from the off-screen frame: no erase, no flicker.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  frameTimer_.setSingleShot(true);
  QObject::connect(&frameTimer_, &QTimer::timeout, this, [this] {
    if (!updateLocked_ && (contentPending_ || backgroundPending_)) RepaintIfDue();
  });
}

TiComponent::~TiComponent() { destroying_ = true; }

void TiComponent::SetBackGroundColor(TColor value) {
  if (value == backGroundColor_) return;
  backGroundColor_ = value;
  RequestFullRepaint();
}

void TiComponent::SetBorderStyle(TiBevelStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  RequestFullRepaint();
}

void TiComponent::SetAutoFrameRate(bool value) {
  if (value == autoFrameRate_) return;
  autoFrameRate_ = value;
  if (value) {
    RequestFullRepaint();
  } else {
    ResumeRepaint();
  }
}

void TiComponent::SetUpdateFrameRate(int value) {
  if (value == updateFrameRate_) return;
  updateFrameRate_ = value;
  RequestFullRepaint();
}

void TiComponent::RequestRepaint() {
  if (updateLocked_) {
    contentPending_ = true;
  } else if (autoFrameRate_) {
    contentPending_ = true;
    RepaintIfDue();
  } else {
    RepaintNow();
  }
}

void TiComponent::RequestFullRepaint() {
  backgroundDirty_ = true;
  if (updateLocked_) {
    backgroundPending_ = true;
  } else if (autoFrameRate_) {
    backgroundPending_ = true;
    RepaintIfDue();
  } else {
    RepaintNow();
  }
}

void TiComponent::RepaintIfDue() {
  if (autoFrameRate_ && updateFrameRate_ != 0) {
    const std::chrono::duration<double> period(1.0 / updateFrameRate_);
    const auto due =
        lastRepaint_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
    const auto now = clock_();
    if (now <= due) {
      // Without the timer the last change of a burst would stay off screen until some
      // later change, possibly for ever.
      if (!frameTimer_.isActive()) {
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + 1;
        frameTimer_.start(static_cast<int>(std::min<long long>(wait, 1000)));
      }
      return;
    }
  }
  RepaintNow();
}

void TiComponent::RepaintNow() {
  contentPending_ = false;
  backgroundPending_ = false;
  lastRepaint_ = clock_();
  update();
}

void TiComponent::SuspendRepaint() { updateLocked_ = true; }

void TiComponent::ResumeRepaint() {
  updateLocked_ = false;
  if (contentPending_ || backgroundPending_) RepaintIfDue();
}

void TiComponent::LockPaint() {
  if (!destroying_) paintLock_.lock();
}

void TiComponent::UnlockPaint() {
  if (!destroying_) paintLock_.unlock();
}

void TiComponent::SetClock(ClockFn clock) {
  clock_ = std::move(clock);
  lastRepaint_ = clock_();
}

void TiComponent::DrawBackground(Canvas& canvas, TColor color) {
  backgroundDirty_ = false;
  canvas.FillRect(Rect{0, 0, width(), height()}, color);
  DrawBorder(canvas);
}

void TiComponent::DrawBorder(Canvas& canvas) {
  if (borderStyle_ != ibsNone) canvas.Bevel(Rect{0, 0, width(), height()}, borderStyle_);
}

void TiComponent::paintEvent(QPaintEvent* /*event*/) {
  if (width() > 0 && height() > 0) {
    LockPaint();
    try {
      const bool clear = HasTransparentBackground();
      QImage frame(size(), clear ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
      if (!frame.isNull()) {
        if (clear) frame.fill(Qt::transparent);
        {
          QPainter painter(&frame);
          QtCanvas canvas(painter);
          DrawContent(canvas);
        }
        lastFrame_ = std::move(frame);
      }
    } catch (...) {
      // A failed frame never reaches the screen; no exception may cross Qt's event loop.
    }
    UnlockPaint();
  }
  if (!lastFrame_.isNull()) {
    QPainter painter(this);
    painter.drawImage(0, 0, lastFrame_);
  }
}

void TiComponent::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RequestFullRepaint();
}

void TiComponent::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  RequestFullRepaint();
}

void TiComponent::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
    RequestFullRepaint();
}

}  // namespace kelta::sevenseg
