#include "graphics/view/Image32.h"

#include <QImage>
#include <QPainter>

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

void TImage32::paintEvent(QPaintEvent*) {
  ComposeBuffer();
  const TBitmap32& buffer = Buffer();
  if (buffer.Empty()) return;
  // RGB32 ignores the alpha byte: the frame reaches the screen opaque.
  const QImage frame(reinterpret_cast<const uchar*>(buffer.Bits()), buffer.Width(), buffer.Height(),
                     buffer.Width() * 4, QImage::Format_RGB32);
  QPainter painter(this);
  painter.drawImage(0, 0, frame);
}

}  // namespace kelta::gfx
