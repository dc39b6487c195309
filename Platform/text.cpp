// Text output. Fonts are not rendered yet: text draws nothing.
#include "surface.h"

namespace plat {

const FontFace* face_of_font(Object&) { return nullptr; }

void draw_text(Surface&, const FontFace*, int32_t, int32_t, const char*, int) {}

}  // namespace plat
