// The picture box's device context: a drawing surface of the platform layer
// that the library draws the plot on, kept while the picture keeps its size.
#pragma once

#include <QColor>
#include <QImage>

#include "platform.h"

class PlotSurface {
 public:
  PlotSurface() = default;
  ~PlotSurface();
  PlotSurface(const PlotSurface&) = delete;
  PlotSurface& operator=(const PlotSurface&) = delete;

  // A device context of width x height pixels: the one already held when
  // the size is the same, else a new one. NULL when the platform cannot make
  // it.
  HDC dc(int width, int height);

  // The surface's pixels, shared with the surface (no copy): valid until the
  // next dc() of another size. A null image before the first dc().
  QImage image() const;

  // The colour a new surface is filled with: the plain window background,
  // shown by the picture box while it has no plot.
  static QColor background();

 private:
  void release();

  HDC hdc_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};
