#include "console/qt/ClickablePanel.h"

#include <QMouseEvent>

namespace kelta {

void ClickablePanel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr;
  if (pressed_)
    event->accept();
  else
    QFrame::mousePressEvent(event);
}

void ClickablePanel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click)
    emit clicked();
  else
    QFrame::mouseReleaseEvent(event);
}

void ClickablePanel::mouseDoubleClickEvent(QMouseEvent* event) {
  // The first press and release of the pair made the click. Whether the second press came
  // before this event (Qt 6 sends both) or not (QWidget turns this event into a press), the
  // release that follows must not make another one.
  pressed_ = false;
  if (event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr)
    event->accept();
  else
    QFrame::mouseDoubleClickEvent(event);
}

}  // namespace kelta
