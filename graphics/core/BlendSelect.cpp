// The one selection point of the blend primitives.
#include "graphics/core/BlendVariants.h"

#include <cstdlib>
#include <string_view>
#include <vector>

namespace kelta::gfx {

namespace {

std::vector<const TBlendFuncs*> BuildAvailable() {
  // Reference first, then variants in order of preference; the last usable one wins.
  std::vector<const TBlendFuncs*> list{&ScalarBlendFuncs()};
  if (const TBlendFuncs* f = Sse2BlendFuncs()) {
    list.push_back(f);
    if (HaveAvx2())
      if (const TBlendFuncs* w = Avx2BlendFuncs(*f)) list.push_back(w);
  }
  return list;
}

const std::vector<const TBlendFuncs*>& Available() {
  static const std::vector<const TBlendFuncs*> list = BuildAvailable();
  return list;
}

const TBlendFuncs& Choose() {
  const char* force = std::getenv("KELTA_GFX_SCALAR");
  if (force != nullptr && *force != '\0' && std::string_view(force) != "0")
    return ScalarBlendFuncs();
  return *Available().back();
}

}  // namespace

const TBlendFuncs& BlendFuncs() {
  static const TBlendFuncs& chosen = Choose();
  return chosen;
}

int AvailableBlendFuncCount() { return static_cast<int>(Available().size()); }

const TBlendFuncs& AvailableBlendFuncs(int Index) {
  return *Available().at(static_cast<std::size_t>(Index));
}

}  // namespace kelta::gfx
