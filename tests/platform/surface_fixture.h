// A small surface device context for the drawing tests, and pictures of it as
// text: one string per row, '.' for the untouched window background and a
// letter for each colour the test names.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform.h"

namespace surface_test {

constexpr COLORREF kBackground = RGB(240, 240, 240);
static_assert(kBackground == ISOVAR_SURFACE_BACKGROUND, "the window grey");

class Surface : public ::testing::Test {
 protected:
  void make(int width, int height) {
    if (dc_ != nullptr) DeleteDC(dc_);
    dc_ = CreateSurfaceDC(width, height);
    ASSERT_NE(dc_, nullptr);
    width_ = width;
    height_ = height;
  }
  void SetUp() override { make(8, 6); }
  void TearDown() override {
    if (dc_ != nullptr) {
      EXPECT_TRUE(DeleteDC(dc_));
    }
  }

  // The picture as rows of text: '.' background, '#' black, 'r' red,
  // 'w' white, 'b' blue, '?' anything else.
  std::vector<std::string> picture() const {
    std::vector<std::string> rows;
    for (int y = 0; y < height_; ++y) {
      std::string row;
      for (int x = 0; x < width_; ++x) row += letter(GetPixel(dc_, x, y));
      rows.push_back(row);
    }
    return rows;
  }

  static char letter(COLORREF c) {
    switch (c) {
      case kBackground: return '.';
      case RGB(0, 0, 0): return '#';
      case RGB(255, 0, 0): return 'r';
      case RGB(255, 255, 255): return 'w';
      case RGB(0, 0, 255): return 'b';
      default: return '?';
    }
  }

  // Fills the whole surface with one colour, its frame included.
  void paint(COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old_brush = SelectObject(dc_, brush);
    HGDIOBJ old_pen = SelectObject(dc_, pen);
    Rectangle(dc_, 0, height_, width_, 0);
    SelectObject(dc_, old_brush);
    SelectObject(dc_, old_pen);
    DeleteObject(brush);
    DeleteObject(pen);
  }

  void line(int x1, int y1, int x2, int y2) {
    MoveToEx(dc_, x1, y1, nullptr);
    LineTo(dc_, x2, y2);
  }

  // Selects a new pen and deletes it at once: it stays in use until it is
  // deselected, and is then freed.
  void use_pen(int width, COLORREF color) {
    HPEN pen = CreatePen(PS_SOLID, width, color);
    ASSERT_NE(pen, nullptr);
    SelectObject(dc_, pen);
    DeleteObject(pen);
  }

  HDC dc_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace surface_test
