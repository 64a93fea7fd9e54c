// Last link of the component base; the concrete controls derive from it.
#pragma once

#include "sevenseg/qt/iVCLComponent.h"

namespace kelta::sevenseg {

class TiCustomComponent : public TiVCLComponent {
 public:
  explicit TiCustomComponent(QWidget* parent = nullptr) : TiVCLComponent(parent) {}
};

}  // namespace kelta::sevenseg
