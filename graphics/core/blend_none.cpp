// Processors without a SIMD variant use the reference only.
#include "graphics/core/BlendVariants.h"

namespace kelta::gfx {

const TBlendFuncs* Sse2BlendFuncs() { return nullptr; }

const TBlendFuncs* Avx2BlendFuncs(const TBlendFuncs&) { return nullptr; }

bool HaveAvx2() { return false; }

}  // namespace kelta::gfx
