// Surfaces that record SVG: the same pixels as any surface, and a document
// that XML parsers accept, that rsvg-convert renders at the surface's size,
// and that holds one element for each thing drawn.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform.h"
#include "test_support.h"

namespace {

using testing_support::cp932;
using testing_support::TempDir;

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class Svg : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = CreateSvgSurfaceDC(200, 120);
    plain_ = CreateSurfaceDC(200, 120);
    ASSERT_NE(dc_, nullptr);
  }
  void TearDown() override {
    DeleteDC(dc_);
    DeleteDC(plain_);
  }

  // The same calls on the recording and on a plain surface.
  template <class F>
  void both(F draw) {
    draw(dc_);
    draw(plain_);
  }

  std::string document() const {
    size_t n = 0;
    const char* text = GetSurfaceSvg(dc_, &n);
    EXPECT_NE(text, nullptr);
    return text == nullptr ? std::string() : std::string(text, n);
  }

  HDC dc_ = nullptr;
  HDC plain_ = nullptr;
};

void background(HDC dc, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HGDIOBJ old_brush = SelectObject(dc, brush);
  HGDIOBJ old_pen = SelectObject(dc, pen);
  Rectangle(dc, 0, 120, 200, 0);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
  DeleteObject(brush);
  DeleteObject(pen);
}

void polyline(HDC dc, int width, COLORREF colour, std::initializer_list<POINT> points) {
  HPEN pen = CreatePen(PS_SOLID, width, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  const POINT* p = points.begin();
  for (std::size_t k = 0; k + 1 < points.size(); ++k) {
    MoveToEx(dc, p[k].x, p[k].y, nullptr);
    LineTo(dc, p[k + 1].x, p[k + 1].y);
  }
  SelectObject(dc, old);
  DeleteObject(pen);
}

void text(HDC dc, int x, int y, const std::string& bytes) {
  LOGFONTA lf{};
  lf.lfHeight = 12;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  const std::string face = cp932(u8"ＭＳ ゴシック");
  std::memcpy(lf.lfFaceName, face.data(), face.size());
  HFONT font = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, RGB(255, 255, 255));
  TextOutA(dc, x, y, bytes.data(), static_cast<int>(bytes.size()));
  SelectObject(dc, old);
  DeleteObject(font);
}

void triangles(HDC dc, COLORREF colour, float dx) {
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ old = SelectObject(dc, brush);
  const POINTF points[] = {{10 + dx, 10}, {40 + dx, 10}, {10 + dx, 40}, {40 + dx, 10}, {40 + dx, 40}, {10 + dx, 40}};
  const int counts[] = {3, 3};
  FillPolygons(dc, points, counts, 2);
  SelectObject(dc, old);
  DeleteObject(brush);
}

TEST_F(Svg, EachDrawingIsAnElementAndThePixelsAreThoseOfAnySurface) {
  both([](HDC dc) {
    background(dc, RGB(100, 100, 100));
    triangles(dc, RGB(200, 220, 255), 0);
    triangles(dc, RGB(200, 220, 255), 40);  // the same colour: the same path
    triangles(dc, RGB(255, 220, 200), 80);
    polyline(dc, 1, RGB(0, 0, 255), {{10, 50}, {60, 55}, {90, 80}});
    polyline(dc, 2, RGB(255, 0, 0), {{10, 90}, {60, 95}});
    polyline(dc, 2, RGB(255, 0, 0), {{60, 95}, {90, 110}});  // a new pen: a new path
    text(dc, 100, 60, cp932(u8"値 <1.5> & 'x'"));
  });
  int w = 0, h = 0;
  const uint32_t* a = GetSurfaceBits(dc_, &w, &h);
  const uint32_t* b = GetSurfaceBits(plain_, nullptr, nullptr);
  EXPECT_EQ(std::memcmp(a, b, sizeof(uint32_t) * w * h), 0);

  const std::string svg = document();
  EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u) << svg;
  EXPECT_NE(svg.find("width=\"200\" height=\"120\" viewBox=\"0 0 200 120\""), std::string::npos);
  // The background hid the window grey the surface began with.
  EXPECT_EQ(count(svg, "<rect"), 1) << svg;
  EXPECT_NE(svg.find("fill=\"#646464\""), std::string::npos);
  EXPECT_EQ(svg.find("#f0f0f0"), std::string::npos);
  // Two fills: the first colour's four triangles in one path.
  EXPECT_EQ(count(svg, "shape-rendering=\"crispEdges\""), 2) << svg;
  EXPECT_EQ(count(svg, " Z"), 6);
  // Three strokes: one polyline, then one path for each pen.
  EXPECT_EQ(count(svg, "stroke=\"#0000ff\" stroke-width=\"1\""), 1) << svg;
  EXPECT_NE(svg.find("d=\"M10.5 50.5 L60.5 55.5 L90.5 80.5\""), std::string::npos) << svg;
  EXPECT_EQ(count(svg, "stroke=\"#ff0000\" stroke-width=\"2\""), 2) << svg;
  EXPECT_NE(svg.find("d=\"M10 90 L60 95\""), std::string::npos) << svg;
  // The text, escaped, in UTF-8, with the asked face first.
  EXPECT_NE(svg.find(u8">値 &lt;1.5&gt; &amp; &apos;x&apos;</text>"), std::string::npos) << svg;
  EXPECT_NE(svg.find(u8"font-family=\"'ＭＳ ゴシック', "), std::string::npos) << svg;
}

TEST_F(Svg, DocumentIsWellFormedAndRendersAtItsSize) {
  background(dc_, RGB(100, 100, 100));
  triangles(dc_, RGB(200, 220, 255), 0);
  polyline(dc_, 2, RGB(255, 0, 0), {{10, 90}, {60, 95}});
  // Bytes that are no code page 932 and control characters stay XML.
  text(dc_, 20, 20, std::string("a\x01\x7F\x81 \x85\x40") + "\"z\"");
  TempDir dir;
  const std::string path = dir.file("picture.svg");
  testing_support::write_file(path, document());
  EXPECT_EQ(testing_support::run_command("xmllint --noout '" + path + "' 2>&1; echo $?"), "0\n");
  const std::string png = dir.file("picture.png");
  EXPECT_EQ(testing_support::run_command("rsvg-convert -o '" + png + "' '" + path + "' 2>&1; echo $?"), "0\n");
  const std::string bytes = testing_support::read_file(png);
  ASSERT_GE(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(1, 3), "PNG");
  auto be32 = [&](std::size_t at) {
    return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
           (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
  };
  EXPECT_EQ(be32(16), 200);
  EXPECT_EQ(be32(20), 120);
}

TEST_F(Svg, PlainSurfacesRecordNothing) {
  EXPECT_EQ(GetSurfaceSvg(plain_, nullptr), nullptr);
  EXPECT_EQ(GetSurfaceSvg(nullptr, nullptr), nullptr);
  // A fresh recording surface is the window grey.
  EXPECT_NE(document().find("<rect x=\"0\" y=\"0\" width=\"200\" height=\"120\" fill=\"#f0f0f0\"/>"), std::string::npos);
}

}  // namespace
