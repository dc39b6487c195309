// The run settings and the table mode, as callers set and ask about them.
#include <cmath>
#include <cstring>

#include "IsovarLib.h"
#include "entry/defaults.h"
#include "entry/runs.h"

int32_t setLargeModels(int32_t on) {
  run_context.large = on != 0 ? 1 : 0;
  return 0;
}

int32_t tableLimitReached(void) { return run_context.table_limit_reached; }

int32_t setRunLog(const char* path) {
  char* to = run_context.run_log_path;
  if (path == nullptr || *path == '\0') {
    to[0] = '\0';
    return 0;
  }
  const std::size_t n = std::strlen(path);
  if (n >= sizeof run_context.run_log_path) return -1;
  std::memcpy(to, path, n + 1);
  return 0;
}

int32_t setFillBands(int32_t on) {
  run_context.fill_bands = on != 0 ? 1 : 0;
  return 0;
}

bool set_picture_style(Run& r, const IsovarPictureStyle* style) {
  if (style == nullptr) {
    r.style = PictureStyle{kKeyNone, 0, kMapClassic, 0.0, kLabelsAtEnds, 0, 0, 0, 0};
    return true;
  }
  if (style->key < ISOVAR_KEY_NONE || style->key > ISOVAR_KEY_BELOW) return false;
  if (style->colormap < 0 || style->colormap >= kMapCount) return false;
  if (!std::isfinite(style->center)) return false;
  if (style->labels < ISOVAR_LABELS_AT_ENDS || style->labels > ISOVAR_LABELS_UPHILL) return false;
  if (style->label_spacing < 0 || style->label_spacing > kMaxLabelSpacing || style->index < 0) return false;
  r.style = PictureStyle{style->key,    style->axes != 0 ? 1 : 0, style->colormap, style->center,
                         style->labels, style->label_spacing,     style->index,    style->halo != 0 ? 1 : 0,
                         style->outline != 0 ? 1 : 0};
  return true;
}

int32_t setPictureStyle(const IsovarPictureStyle* style) { return set_picture_style(default_run, style) ? 0 : -1; }

int32_t isovarColormapNamed(const char* name) { return colour_map_named(name); }
