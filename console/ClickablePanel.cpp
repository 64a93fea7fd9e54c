#include "console/ClickablePanel.h"

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

}  // namespace kelta
