// fontconfig, loaded when first asked: a face the font cache remembers needs
// none of it, so a process that draws with remembered faces never loads
// fontconfig (nor its XML parser) at all.
#pragma once

#include <fontconfig/fontconfig.h>

namespace plat {

#define ISOVAR_FONTCONFIG_FUNCTIONS(X)                                                                       \
  X(FcInit) X(FcPatternCreate) X(FcPatternDestroy) X(FcPatternAddString) X(FcPatternAddInteger)              \
  X(FcPatternGetString) X(FcPatternGetInteger) X(FcPatternGetCharSet) X(FcConfigSubstitute)                 \
  X(FcDefaultSubstitute) X(FcFontSort) X(FcFontSetDestroy) X(FcCharSetCreate) X(FcCharSetAddChar)          \
  X(FcCharSetIsSubset) X(FcCharSetDestroy) X(FcStrListNext) X(FcStrListDone) X(FcConfigGetConfigFiles)     \
  X(FcConfigGetConfigDirs) X(FcConfigGetFontDirs) X(FcConfigGetCacheDirs)

// The functions of the loaded library, each under its own name.
struct FontconfigApi {
#define ISOVAR_FONTCONFIG_MEMBER(name) decltype(&::name) name;
  ISOVAR_FONTCONFIG_FUNCTIONS(ISOVAR_FONTCONFIG_MEMBER)
#undef ISOVAR_FONTCONFIG_MEMBER
};

// The library, loaded on the first call (later calls give the same answer);
// null when it or one of its functions cannot be found: faces are then
// resolved without it (ISOVAR_FONT, the remembered ones) or not at all.
const FontconfigApi* fontconfig();

}  // namespace plat
