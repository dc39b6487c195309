#include "cairo_api.h"

#include <dlfcn.h>

namespace plat {

const CairoApi* cairo() {
  static const CairoApi* const api = []() -> const CairoApi* {
    // Loaded for the rest of the process: surfaces made later use it too.
    void* library = dlopen("libcairo.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    static CairoApi loaded;
    bool complete = true;
#define ISOVAR_CAIRO_LOAD(name)                                                  \
  loaded.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  complete = complete && loaded.name != nullptr;
    ISOVAR_CAIRO_FUNCTIONS(ISOVAR_CAIRO_LOAD)
#undef ISOVAR_CAIRO_LOAD
    return complete ? &loaded : nullptr;
  }();
  return api;
}

}  // namespace plat
