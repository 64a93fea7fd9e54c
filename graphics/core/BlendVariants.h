// Registration of the blend tables (private to the graphics core).
#pragma once

#include "graphics/core/Blend.h"

namespace kelta::gfx {

// Each variant file defines one of these; a variant whose processor features are missing
// returns nullptr.
const TBlendFuncs* Sse2BlendFuncs();
// Extends Narrower with wider rows. Call only after the processor check: everything in
// that file may use AVX2 (nullptr where it is not built).
const TBlendFuncs* Avx2BlendFuncs(const TBlendFuncs& Narrower);
// Whether the processor and the build offer AVX2.
bool HaveAvx2();

}  // namespace kelta::gfx
