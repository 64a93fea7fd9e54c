// TImage32: the Qt window control over a ViewCore. The widget's size is the viewport, a
// change schedules a repaint, and painting copies the composed frame to the window opaque,
// only the part the paint event asks for.
//
// Threading: GUI thread only, like every QWidget.
#pragma once

#include "graphics/view/ViewCore.h"

#include <QWidget>

#include <functional>

namespace kelta::gfx {

class TImage32 : public QWidget, public ViewCore {
 public:
  explicit TImage32(QWidget* Parent = nullptr);
  ~TImage32() override;

  int ViewWidth() const override { return width(); }
  int ViewHeight() const override { return height(); }
  // Resizes the widget; its left and top stay.
  void SetViewSize(int Width, int Height) override;

  std::function<void(TImage32& Sender)> OnChange;

 protected:
  void RequestPaint() override { update(); }
  void RequestAreaPaint(const TRect& Area) override {
    update(Area.Left, Area.Top, Area.Width(), Area.Height());
  }
  void PaintNow() override { repaint(); }
  // Only the invalid areas reach the window when the rest of the buffer is valid.
  void PaintInvalidNow() override;
  void DoChange() override;
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
};

}  // namespace kelta::gfx
