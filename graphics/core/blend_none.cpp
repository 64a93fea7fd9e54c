// Processors without a SIMD variant use the reference only.
#include "BlendVariants.h"

namespace kelta::gfx {

const TBlendFuncs* Sse2BlendFuncs()
{
    return nullptr;
}

} // namespace kelta::gfx
