#include "fontconfig_api.h"

#include <dlfcn.h>

namespace plat {

const FontconfigApi* fontconfig() {
  static const FontconfigApi* const api = [] () -> const FontconfigApi* {
    // The library stays loaded for the process: fontconfig keeps state
    // that lives as long as it does.
    void* library = dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    static FontconfigApi loaded;
    bool complete = true;
#define ISOVAR_FONTCONFIG_LOAD(name)                                               \
  loaded.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  complete = complete && loaded.name != nullptr;
    ISOVAR_FONTCONFIG_FUNCTIONS(ISOVAR_FONTCONFIG_LOAD)
#undef ISOVAR_FONTCONFIG_LOAD
    return complete ? &loaded : nullptr;
  }();
  return api;
}

}  // namespace plat
