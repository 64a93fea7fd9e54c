// The one selection point of the blend primitives.
#include "graphics/core/BlendVariants.h"

#include <cstdlib>
#include <string_view>
#include <vector>

namespace kelta::gfx {

namespace {

std::vector<const TBlendFuncs*> BuildAvailable() {
  // Reference first, then variants in order of preference; the last usable one wins.
  std::vector<const TBlendFuncs*> List{&ScalarBlendFuncs()};
  if (const TBlendFuncs* F = Sse2BlendFuncs()) {
    List.push_back(F);
    if (HaveAvx2())
      if (const TBlendFuncs* W = Avx2BlendFuncs(*F)) List.push_back(W);
  }
  return List;
}

const std::vector<const TBlendFuncs*>& Available() {
  static const std::vector<const TBlendFuncs*> List = BuildAvailable();
  return List;
}

const TBlendFuncs& Choose() {
  const char* Force = std::getenv("KELTA_GFX_SCALAR");
  if (Force != nullptr && *Force != '\0' && std::string_view(Force) != "0")
    return ScalarBlendFuncs();
  return *Available().back();
}

}  // namespace

const TBlendFuncs& BlendFuncs() {
  static const TBlendFuncs& Chosen = Choose();
  return Chosen;
}

int AvailableBlendFuncCount() { return static_cast<int>(Available().size()); }

const TBlendFuncs& AvailableBlendFuncs(int Index) {
  return *Available().at(static_cast<std::size_t>(Index));
}

}  // namespace kelta::gfx
