#pragma once

#include <QFrame>

namespace kelta {

// A panel that reports a click on its bare background only: presses that a child widget
// passed on (labels, group boxes) do not count, as a click on a child is the child's own.
// A double click is one click: its second press never completes a click of its own.
class ClickablePanel : public QFrame {
  Q_OBJECT
 public:
  using QFrame::QFrame;

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

}  // namespace kelta
