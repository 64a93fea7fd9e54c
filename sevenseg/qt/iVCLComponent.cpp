#include "sevenseg/qt/iVCLComponent.h"

namespace kelta::sevenseg {

void TiVCLComponent::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  setAttribute(Qt::WA_OpaquePaintEvent, !value);
  setAttribute(Qt::WA_NoSystemBackground, !value);
  RequestFullRepaint();
}

void TiVCLComponent::DrawBackground(Canvas& canvas, TColor color) {
  if (transparent_) return;
  TiComponent::DrawBackground(canvas, color);
}

}  // namespace kelta::sevenseg
