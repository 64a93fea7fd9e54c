// Processor feature query for the blend tables (built without wide instruction flags).
#include "graphics/core/BlendVariants.h"

namespace kelta::gfx {

bool HaveAvx2() { return __builtin_cpu_supports("avx2"); }

}  // namespace kelta::gfx
