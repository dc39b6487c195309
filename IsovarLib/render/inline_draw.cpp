// The isolines with labels along them: every polyline clipped and mapped to
// pixels as the plain drawing does, the labels placed over all of them
// (inline_labels.h), the lines drawn with a gap under each label of their
// level, then the labels, each turned along its line.
//
// The display list records the lines as drawn (gaps and all) and each label
// as a plain label record, unturned, its text centred where the turned text
// is (moved inside the frame where it would reach over it): the record has
// no angle.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "input/model_store.h"
#include "isovar_messages.h"
#include "render/inline_labels.h"
#include "render/run.h"
#include "shared/run_context.h"

namespace {

constexpr int32_t kLabelSize = 10;  // as the plain labels
constexpr double kLabelPad = 2.0;   // pixels around the text, the halo's room
constexpr double kPi = 3.14159265358979323846;

// Label text of level k, without the leading blanks of its format.
std::size_t label_text(const Run& r, int32_t k, char (&text)[kLabelTextSize]) {
  std::size_t len = format_label(r.model->levels[k], text);
  std::size_t lead = 0;
  while (lead < len && text[lead] == ' ') ++lead;
  std::memmove(text, text + lead, len - lead + 1);
  return len - lead;
}

// What the titles take above the frame: their rows, as tall as the largest
// title font, across the picture.
inline_labels::Rect titles_box(const Run& r) {
  int32_t n = r.model->title_count;
  if (n <= 0) return inline_labels::Rect{0, 0, 0, 0};
  if (n > kMaxTitles) n = kMaxTitles;
  constexpr int32_t kTallest = 20;
  int32_t y = trunc_to_int(kTallest * 0.8);
  for (int32_t i = 1; i < n; ++i) y = trunc_to_int(y + r.layout.title_spacing * 1.3);
  return inline_labels::Rect{0, 0, static_cast<double>(r.ctx.plot_width), static_cast<double>(y) + kTallest + 1};
}

}  // namespace

inline_labels::Input inline_label_input(Run& r, std::vector<std::string>* texts) {
  const EngineTables& E = r.engine;
  const ModelStore& M = *r.model;
  const float xmin = M.extent_xmin, ymin = M.extent_ymin;
  const float w = static_cast<float>(static_cast<double>(M.extent_xmax) - xmin);
  const float h = static_cast<float>(static_cast<double>(M.extent_ymax) - ymin);
  const int32_t level_count = M.level_count < kLevelSlots ? M.level_count : kLevelSlots;

  // Every polyline clipped and mapped as the plain drawing does, each run of
  // its segments that join one line.
  inline_labels::Input in;
  for (int32_t n = 0; n < E.pline_total; ++n) {
    const int32_t count = E.pline_count[n];
    const int32_t k = E.pline_level[n];
    if (count <= 0 || k < 0 || k >= level_count) continue;
    bool joined = false;
    for (int32_t j = 0; j + 1 < count; ++j) {
      const IsoPoint& a = E.iso_points[pline_point(E, n, j)];
      const IsoPoint& b = E.iso_points[pline_point(E, n, j + 1)];
      float x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
      const int32_t clipped = line_clip(xmin, ymin, w, h, x1, y1, x2, y2);
      if (clipped < 0 || clipped > 3) {
        joined = false;
        continue;
      }
      const double X1 = map_x(r, x1), Y1 = map_y(r, y1), X2 = map_x(r, x2), Y2 = map_y(r, y2);
      if (!joined || in.lines.back().xy[in.lines.back().xy.size() - 2] != X1 || in.lines.back().xy.back() != Y1)
        in.lines.push_back(inline_labels::Line{k, {X1, Y1}});
      in.lines.back().xy.push_back(X2);
      in.lines.back().xy.push_back(Y2);
      joined = true;
    }
  }

  // Label sizes, the frame's inside and what else labels keep off.
  texts->assign(static_cast<std::size_t>(level_count), std::string());
  in.width.assign(static_cast<std::size_t>(level_count), 0.0);
  in.height.assign(static_cast<std::size_t>(level_count), kLabelSize + 2 * kLabelPad);
  in.value.assign(static_cast<std::size_t>(level_count), 0.0);
  for (int32_t k = 0; k < level_count; ++k) {
    in.value[k] = M.levels[k];
    if (!level_labelled(r, k)) continue;
    char text[kLabelTextSize];
    const std::size_t len = label_text(r, k, text);
    (*texts)[k].assign(text, len);
    in.width[k] = text_width(len, kLabelSize) + 2 * kLabelPad;
  }
  in.spacing = r.style.label_spacing > 0 ? r.style.label_spacing : kDefaultLabelSpacing;
  in.uphill = r.style.labels == kLabelsUphill;
  const PixelFrame f = pixel_frame(r);
  in.frame = inline_labels::Rect{std::floor(f.left) + 2, std::floor(f.top) + 2, std::floor(f.right) - 2,
                                 std::floor(f.bottom) - 2};
  const inline_labels::Rect titles = titles_box(r);
  if (titles.bottom > titles.top) in.obstacles.push_back(titles);
  return in;
}

void draw_inline_isolines(Run& r) {
  HDC dc = r.ctx.run_hdc;
  const ModelStore& M = *r.model;
  const int32_t level_count = M.level_count < kLevelSlots ? M.level_count : kLevelSlots;
  reset_labels(r);
  std::vector<std::string> texts;
  const inline_labels::Input in = inline_label_input(r, &texts);
  const std::vector<inline_labels::Placed> placed = inline_labels::place(in);

  // The lines, cut under their level's labels.
  std::vector<std::vector<const inline_labels::Box*>> boxes(static_cast<std::size_t>(level_count));
  for (const inline_labels::Placed& p : placed) boxes[p.level].push_back(&p.box);
  std::vector<double> pieces;
  // A surface that takes exact paths gets these pixels' lines as a stand-in
  // and the exact paths, cut alike, after them.
  const bool exact = SurfaceTakesExactPaths(dc) != 0;
  if (exact) BeginRasterStandIn(dc);
  LevelPens pens(dc, true);
  for (const inline_labels::Line& line : in.lines) {
    const int32_t k = line.level;
    const int32_t width = level_pen_width(r, k);
    pens.select(k, width, level_colour(M, k, r.style));
    for (std::size_t j = 0; j + 3 < line.xy.size(); j += 2) {
      const double x1 = line.xy[j], y1 = line.xy[j + 1], x2 = line.xy[j + 2], y2 = line.xy[j + 3];
      pieces.clear();
      inline_labels::pieces_outside(boxes[k], x1, y1, x2, y2, &pieces);
      for (std::size_t p = 0; p + 1 < pieces.size(); p += 2) {
        const int32_t X1 = trunc_to_int(std::round(x1 + pieces[p] * (x2 - x1)));
        const int32_t Y1 = trunc_to_int(std::round(y1 + pieces[p] * (y2 - y1)));
        const int32_t X2 = trunc_to_int(std::round(x1 + pieces[p + 1] * (x2 - x1)));
        const int32_t Y2 = trunc_to_int(std::round(y1 + pieces[p + 1] * (y2 - y1)));
        MoveToEx(dc, X1, Y1, nullptr);
        LineTo(dc, X2, Y2);
        dl_line(r, width, X1, Y1, X2, Y2);
      }
    }
  }
  pens.done();
  if (exact) {
    EndRasterStandIn(dc);
    std::vector<COLORREF> colours(static_cast<std::size_t>(level_count));
    for (int32_t k = 0; k < level_count; ++k) colours[static_cast<std::size_t>(k)] = level_colour(M, k, r.style);
    draw_exact_isolines(r, colours.data(), &boxes);
  }

  // The labels, turned along their lines about the text cell's top-left
  // corner, which is put so the cell's centre is the box's.
  SetTextColor(dc, kWhite);
  for (const inline_labels::Placed& p : placed) {
    const std::string& text = texts[p.level];
    const double tw = text_width(text.size(), kLabelSize);
    const double a = p.box.angle * kPi / 180.0;
    const double dx = std::cos(a), dy = -std::sin(a);  // along the text
    const double ux = -std::sin(a), uy = -std::cos(a);  // towards its tops
    const double x = p.box.cx - dx * tw / 2 + ux * kLabelSize / 2.0;
    const double y = p.box.cy - dy * tw / 2 + uy * kLabelSize / 2.0;
    HFONT font = make_font(kLabelSize, p.box.angle);
    HGDIOBJ old_font = SelectObject(dc, font);
    if (r.style.halo) set_label_colours(r, p.level);
    TextOutA(dc, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), text.data(),
             static_cast<int>(text.size()));
    SelectObject(dc, old_font);
    DeleteObject(font);
    // Unturned, a steep label near the frame would reach over it: the
    // record is kept inside.
    const double left = std::fmax(in.frame.left, std::fmin(p.box.cx - tw / 2, in.frame.right - tw));
    const double top = std::fmax(in.frame.top, std::fmin(p.box.cy - kLabelSize / 2.0, in.frame.bottom - kLabelSize));
    dl_label(r, text.c_str(), trunc_to_int(std::round(left)), trunc_to_int(std::round(top)), kLabelSize);
  }
  if (r.style.halo) SetTextHalo(dc, 0, 0);
}
