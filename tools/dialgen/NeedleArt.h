#pragma once

#include <QImage>

namespace kelta::dialgen {

// 25 x 150, straight alpha, pointing up, pivot at (12, 134), a clear one-pixel frame.
QImage DrawNeedle();

}  // namespace kelta::dialgen
