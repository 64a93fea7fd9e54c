#include "graphics/qt/Image32.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

namespace kelta::gfx {

TImage32::TImage32(QWidget* Parent) : QWidget(Parent) {
  // The whole area is painted from the buffer; Qt need not clear it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TImage32::~TImage32() {
  OnChange = nullptr;
  // The layers go while the widget is whole; the core's own clean-up then finds none.
  Layers().Clear();
}

void TImage32::SetViewSize(int Width, int Height) { resize(Width, Height); }

void TImage32::DoChange() {
  if (OnChange) OnChange(*this);
}

void TImage32::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  ViewResized();
}

void TImage32::PaintInvalidNow() {
  if (BufferValid()) return;
  if (InvalidAreas().empty()) {
    repaint();
    return;
  }
  QRegion region;
  for (const TRect& a : InvalidAreas()) region += QRect(a.Left, a.Top, a.Width(), a.Height());
  repaint(region);
}

void TImage32::paintEvent(QPaintEvent* Event) {
  // The buffer is composed where it is invalid (all of it, or the areas changed); the
  // window gets the part it asked for, which may be more when Qt merged requests.
  ComposeBuffer();
  const TBitmap32& buffer = Buffer();
  if (buffer.Empty()) return;
  // RGB32 ignores the alpha byte: the frame reaches the screen opaque.
  const QImage frame(reinterpret_cast<const uchar*>(buffer.Bits()), buffer.Width(), buffer.Height(),
                     buffer.Width() * 4, QImage::Format_RGB32);
  const QRect part = Event->rect() & QRect(0, 0, buffer.Width(), buffer.Height());
  QPainter painter(this);
  painter.drawImage(part.topLeft(), frame, part);
}

}  // namespace kelta::gfx
