// The render driver: the whole plot on the run's device context, in the
// order its parts overlap, recorded in the display list.
#include "render/run.h"

namespace {

void paint_background(Run& r) {
  HDC dc = r.ctx.run_hdc;
  HBRUSH brush = CreateSolidBrush(kBackgroundColour);
  HPEN pen = CreatePen(PS_SOLID, 1, kBackgroundColour);
  HGDIOBJ old_brush = SelectObject(dc, brush);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  // Given as left 0, top H, right W, bottom 0: the rectangle is normalised
  // and covers the whole picture.
  Rectangle(dc, 0, r.ctx.plot_height, r.ctx.plot_width, 0);
  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
  DeleteObject(pen);
  DeleteObject(brush);
}

}  // namespace

int32_t render_plot(Run& r) {
  dl_discard(r);
  plot_layout(r);
  paint_background(r);
  // The bands go under everything else.
  if (r.ctx.fill_bands != 0 && r.layout.area_defined) {
    draw_bands(r);
    // Band records come before all others: the key's swatches are drawn now.
    const bool key = r.style.key != kKeyNone;
    if (key) BeginGroup(r.ctx.run_hdc, "key", nullptr);
    draw_key_swatches(r);
    if (key) EndGroup(r.ctx.run_hdc);
  }
  draw_titles(r);
  if (r.layout.area_defined) {
    draw_frame(r);
    draw_outline(r);
    draw_isolines(r);
    draw_frame(r);
    // Exact pictures keep the axes and the key in groups of their own.
    if (r.style.axes) {
      BeginGroup(r.ctx.run_hdc, "axes", nullptr);
      draw_axes(r);
      EndGroup(r.ctx.run_hdc);
    }
    const bool key = r.style.key != kKeyNone;
    if (key) BeginGroup(r.ctx.run_hdc, "key", nullptr);
    draw_key(r);
    if (key) EndGroup(r.ctx.run_hdc);
  }
  dl_flush(r);
  return 0;
}
