#include "plot_surface.h"

PlotSurface::~PlotSurface() { release(); }

void PlotSurface::release() {
  if (hdc_ != nullptr) DeleteDC(hdc_);
  hdc_ = nullptr;
  width_ = height_ = 0;
}

HDC PlotSurface::dc(int width, int height) {
  if (hdc_ != nullptr && width == width_ && height == height_) return hdc_;
  release();
  hdc_ = CreateSurfaceDC(width, height);
  if (hdc_ != nullptr) {
    width_ = width;
    height_ = height;
  }
  return hdc_;
}

QImage PlotSurface::image() const {
  if (hdc_ == nullptr) return QImage();
  int width = 0;
  int height = 0;
  const uint32_t* bits = GetSurfaceBits(hdc_, &width, &height);
  if (bits == nullptr || width <= 0 || height <= 0) return QImage();
  return QImage(reinterpret_cast<const uchar*>(bits), width, height, width * 4, QImage::Format_RGB32);
}

QColor PlotSurface::background() {
  const COLORREF c = ISOVAR_SURFACE_BACKGROUND;
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
