// Registration of the blend tables (private to the graphics core).
#pragma once

#include "Blend.h"

namespace kelta::gfx {

// Each variant file defines one of these; a variant whose processor features are missing
// returns nullptr.
const TBlendFuncs* Sse2BlendFuncs();

} // namespace kelta::gfx
