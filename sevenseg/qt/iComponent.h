// Base of the display controls: background, border, repaint requests with an update lock
// and frame-rate throttling, and double-buffered painting through DrawContent.
//
// Threading: a control lives on the GUI thread; every member runs there, except that
// another thread may take the paint lock (LockPaint / UnlockPaint) to change data the
// control paints, so that it never sees a half-painted frame. The paint routine holds the
// lock for the whole frame. The lock is recursive.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "sevenseg/SevenSegmentCanvas.h"

namespace kelta::sevenseg {

class TiComponent : public QWidget {
 public:
  using ClockFn = std::function<std::chrono::steady_clock::time_point()>;

  explicit TiComponent(QWidget* parent = nullptr);
  ~TiComponent() override;
  TiComponent(const TiComponent&) = delete;
  TiComponent& operator=(const TiComponent&) = delete;

  TColor BackGroundColor() const { return backGroundColor_; }
  virtual void SetBackGroundColor(TColor value);
  TiBevelStyle BorderStyle() const { return borderStyle_; }
  virtual void SetBorderStyle(TiBevelStyle value);
  bool AutoFrameRate() const { return autoFrameRate_; }
  void SetAutoFrameRate(bool value);
  int UpdateFrameRate() const { return updateFrameRate_; }
  void SetUpdateFrameRate(int value);

  // Repaint requests: recorded while the update lock is set, throttled with AutoFrameRate,
  // otherwise an invalidation (the paint follows in Qt's paint cycle, so several requests
  // between two paints give one paint). A request held back by the frame rate is issued
  // when its frame period has passed, even if no further request comes.
  void RequestRepaint();
  void RequestFullRepaint();
  void RepaintNow();
  void RepaintIfDue();
  virtual void SuspendRepaint();
  virtual void ResumeRepaint();
  virtual void LockPaint();
  virtual void UnlockPaint();

  // Stands in for streaming from a form: while loading, automatic sizing is skipped so
  // the stored size stands.
  bool IsLoading() const { return loading_; }
  void BeginLoading() { loading_ = true; }
  void EndLoading() { loading_ = false; }

  // The frame-rate clock; restamps the last repaint time with the new clock.
  void SetClock(ClockFn clock);

  bool IsUpdateLocked() const { return updateLocked_; }
  bool IsContentPending() const { return contentPending_; }
  bool IsBackgroundPending() const { return backgroundPending_; }
  bool IsBackgroundDirty() const { return backgroundDirty_; }

 protected:
  virtual void DrawBackground(Canvas& canvas, TColor color);
  virtual void DrawBorder(Canvas& canvas);
  // Paints the whole face. An exception leaves the previous picture on screen.
  virtual void DrawContent(Canvas& canvas) = 0;
  // True when the frame starts see-through instead of being filled.
  virtual bool HasTransparentBackground() const { return false; }

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  TColor backGroundColor_;
  TiBevelStyle borderStyle_ = ibsNone;
  bool autoFrameRate_ = false;
  int updateFrameRate_ = 60;
  bool updateLocked_ = false;
  bool contentPending_ = false;
  bool backgroundPending_ = false;
  bool backgroundDirty_ = true;
  bool loading_ = false;
  ClockFn clock_;
  std::chrono::steady_clock::time_point lastRepaint_;
  std::recursive_mutex paintLock_;
  std::atomic<bool> destroying_{false};
  QTimer frameTimer_;  // issues a held request at the end of the frame period
  QImage lastFrame_;   // what the window shows; kept for a frame whose painting failed
};

}  // namespace kelta::sevenseg
