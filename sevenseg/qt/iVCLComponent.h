// Adds the optional transparent background to the component base.
#pragma once

#include "sevenseg/qt/iComponent.h"

namespace kelta::sevenseg {

class TiVCLComponent : public TiComponent {
 public:
  explicit TiVCLComponent(QWidget* parent = nullptr) : TiComponent(parent) {}

  bool Transparent() const { return transparent_; }
  // Qt composes child widgets over their parent, so "what lies behind" needs no snapshot:
  // the frame starts fully transparent and the background is simply not filled.
  virtual void SetTransparent(bool value);

 protected:
  void DrawBackground(Canvas& canvas, TColor color) override;
  bool HasTransparentBackground() const override { return transparent_; }

 private:
  bool transparent_ = false;
};

}  // namespace kelta::sevenseg
