// The colour key: beside the frame, right of it or below it, a bar of one
// swatch per band (filled bands) or one line sample per level, lowest value
// at the bottom (right of the frame) or at the left (below it), each level's
// value written in the labels' format, bold levels in bold. Values too close
// for one row (below) or column (right) are staggered over several.
#include <cmath>

#include "input/model_store.h"
#include "render/run.h"

namespace {

constexpr int32_t kKeyFont = 10;    // pixels, as the isolines' labels
constexpr int32_t kKeyGap = 12;     // between the frame (or the axes' values) and the bar
constexpr int32_t kBarAcross = 14;  // the bar's width right of the frame, its height below
constexpr int32_t kValueGap = 4;    // between the bar and the values
constexpr int32_t kMostStagger = 6;

bool filled(const Run& r) { return r.ctx.fill_bands != 0; }

int32_t value_width(const Run& r, int32_t k) {
  char text[kLabelTextSize];
  return text_width(format_label(r.model->levels[k], text), kKeyFont);
}

int32_t widest_value(const Run& r) {
  int32_t widest = 0;
  for (int32_t k = 0; k < r.model->level_count; ++k) {
    const int32_t w = value_width(r, k);
    if (w > widest) widest = w;
  }
  return widest;
}

// How the key's values lie along a side `length` pixels long: the slots
// (swatches or samples) and their pitch, and which values are written, every
// `every`-th one, staggered over `stagger` rows or columns.
struct Plan {
  int32_t slots;
  double pitch;
  int32_t every;
  int32_t stagger;
  int32_t widest;
};

Plan plan(const Run& r, double length, int32_t most_stagger) {
  Plan p{};
  const int32_t n = r.model->level_count;
  p.slots = filled(r) ? n + 1 : n;
  p.pitch = p.slots > 0 ? length / p.slots : 0.0;
  p.widest = widest_value(r);
  const double need = r.style.key == kKeyRight ? kKeyFont + 2.0 : p.widest + 6.0;
  double rows = p.pitch > 0.0 ? std::ceil(need / p.pitch) : kMostStagger;
  if (!(rows >= 1.0)) rows = 1.0;
  if (rows > 1e6) rows = 1e6;
  const int32_t needed = static_cast<int32_t>(rows);
  if (most_stagger < 1) most_stagger = 1;
  p.every = (needed + most_stagger - 1) / most_stagger;
  p.stagger = (needed + p.every - 1) / p.every;
  return p;
}

// The frame's edges in pixels, as draw_frame draws them.
struct Edges {
  int32_t left, right, top, bottom;
};
Edges frame_edges(const Run& r) {
  const double W = r.ctx.plot_width, H = r.ctx.plot_height;
  return Edges{trunc_to_int(W * r.layout.area_left), trunc_to_int(W * r.layout.area_right),
               trunc_to_int(H * r.layout.area_top), trunc_to_int(H * r.layout.area_bottom)};
}

// Where the bar begins across its side: its left edge right of the frame,
// its top edge below the frame and the axes' values.
int32_t bar_start(const Run& r, const Edges& e) {
  return r.style.key == kKeyRight ? e.right + kKeyGap : e.bottom + r.layout.axes_below + kKeyGap;
}

double key_length(const Run& r, const Edges& e) {
  return r.style.key == kKeyRight ? e.bottom - e.top : e.right - e.left;
}

// The place along the bar (pixels, from its low end) as a picture
// coordinate: upwards from the frame's bottom, or rightwards from its left.
double along(const Run& r, const Edges& e, double d) {
  return r.style.key == kKeyRight ? e.bottom - d : e.left + d;
}

bool key_shown(const Run& r) { return r.style.key != kKeyNone && r.model->level_count > 0; }

}  // namespace

int32_t key_stagger_needed(const Run& r, double length) { return plan(r, length, kMostStagger).stagger; }

int32_t key_depth(const Run& r, int32_t stagger) {
  if (!key_shown(r)) return 0;
  if (r.style.key == kKeyRight) return kKeyGap + kBarAcross + kValueGap + stagger * (widest_value(r) + 6);
  return kKeyGap + kBarAcross + kValueGap + stagger * (kKeyFont + 2);
}

void draw_key_swatches(Run& r) {
  if (!key_shown(r) || !filled(r)) return;
  HDC dc = r.ctx.run_hdc;
  const Edges e = frame_edges(r);
  const Plan p = plan(r, key_length(r, e), r.layout.key_stagger);
  const double a0 = bar_start(r, e), a1 = a0 + kBarAcross;
  for (int32_t b = 0; b < p.slots; ++b) {
    // Neighbours share their edge's coordinate, worked out the same way.
    const double s0 = along(r, e, b * p.pitch), s1 = along(r, e, (b + 1) * p.pitch);
    POINTF corners[4];
    if (r.style.key == kKeyRight) {
      corners[0] = POINTF{static_cast<float>(a0), static_cast<float>(s1)};
      corners[1] = POINTF{static_cast<float>(a1), static_cast<float>(s1)};
      corners[2] = POINTF{static_cast<float>(a1), static_cast<float>(s0)};
      corners[3] = POINTF{static_cast<float>(a0), static_cast<float>(s0)};
    } else {
      corners[0] = POINTF{static_cast<float>(s0), static_cast<float>(a0)};
      corners[1] = POINTF{static_cast<float>(s1), static_cast<float>(a0)};
      corners[2] = POINTF{static_cast<float>(s1), static_cast<float>(a1)};
      corners[3] = POINTF{static_cast<float>(s0), static_cast<float>(a1)};
    }
    const int count = 4;
    const COLORREF colour = band_colour(*r.model, b, r.style);
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ old = SelectObject(dc, brush);
    FillPolygons(dc, corners, &count, 1);
    dl_bands(r, colour, corners, &count, 1);
    SelectObject(dc, old);
    DeleteObject(brush);
  }
}

void draw_key(Run& r) {
  if (!key_shown(r)) return;
  HDC dc = r.ctx.run_hdc;
  const Edges e = frame_edges(r);
  const Plan p = plan(r, key_length(r, e), r.layout.key_stagger);
  const int32_t a0 = bar_start(r, e);
  const bool right = r.style.key == kKeyRight;

  if (!filled(r)) {
    // A line sample per level across the middle of its slot, as wide as the
    // level's lines.
    for (int32_t k = 0; k < p.slots; ++k) {
      const int32_t width = r.model->level_kind[k] == 1 ? 2 : 1;
      HPEN pen = CreatePen(PS_SOLID, width, level_colour(*r.model, k, r.style));
      HGDIOBJ old = SelectObject(dc, pen);
      const double mid = along(r, e, (k + 0.5) * p.pitch);
      int32_t x1, y1, x2, y2;
      if (right) {
        x1 = a0, x2 = a0 + kBarAcross, y1 = y2 = trunc_to_int(mid);
      } else {
        const double half = std::fmin(kBarAcross, p.pitch * 0.8) / 2.0;
        x1 = trunc_to_int(mid - half), x2 = trunc_to_int(mid + half), y1 = y2 = a0 + kBarAcross / 2;
      }
      MoveToEx(dc, x1, y1, nullptr);
      LineTo(dc, x2, y2);
      dl_line(r, width, x1, y1, x2, y2);
      SelectObject(dc, old);
      DeleteObject(pen);
    }
  }

  HFONT font = make_font(kKeyFont);
  HGDIOBJ old_font = SelectObject(dc, font);
  SetTextColor(dc, kWhite);
  for (int32_t k = 0; k < r.model->level_count; ++k) {
    if (k % p.every != 0) continue;
    const int32_t lane = (k / p.every) % p.stagger;
    // A band key writes each level at the edge between its two bands; a
    // line key beside its sample.
    const double at = along(r, e, filled(r) ? (k + 1) * p.pitch : (k + 0.5) * p.pitch);
    char text[kLabelTextSize];
    const std::size_t n = format_label(r.model->levels[k], text);
    int32_t x, y;
    if (right) {
      x = a0 + kBarAcross + kValueGap + lane * (p.widest + 6);
      y = trunc_to_int(at) - kKeyFont / 2;
    } else {
      x = trunc_to_int(at) - text_width(n, kKeyFont) / 2;
      y = a0 + kBarAcross + kValueGap + lane * (kKeyFont + 2);
    }
    TextOutA(dc, x, y, text, static_cast<int>(n));
    // Bold levels: the text again a pixel to the right (the drawing layer's
    // fonts come in one weight).
    if (r.model->level_kind[k] == 1) TextOutA(dc, x + 1, y, text, static_cast<int>(n));
    dl_label(r, text, x, y, kKeyFont);
  }
  SelectObject(dc, old_font);
  DeleteObject(font);
}
