// A printer that keeps what it is asked to draw, each drawing with the face,
// size and width in force at that moment; for tests and diagnostics.
#pragma once

#include <string>
#include <vector>

#include "print_replay.h"

namespace replay {

struct PrintedItem {
  enum Kind { kLine, kText, kPolygons };
  Kind kind;
  int x1, y1, x2, y2;  // a text uses x1, y1 (its top-left corner); polygons x1 for the colour
  std::string text;    // UTF-8
  std::string face;
  int font_size;
  int line_width;
  std::vector<PrintPolygon> polygons = {};
};

class RecordingPrinter : public Printer {
 public:
  std::vector<PrintedItem> items;
  std::string face;
  int font_size = 0;
  int line_width = 0;
  int face_calls = 0;
  int ended = 0;    // end_document calls
  int aborted = 0;  // abort_document calls
  // The drawing call with this 0-based number reports a printer error.
  int fail_at = -1;

  void set_font_face(const std::string& f) override {
    face = f;
    ++face_calls;
  }
  void set_font_size(int points) override { font_size = points; }
  void set_line_width(int pixels) override { line_width = pixels; }
  bool draw_line(int x1, int y1, int x2, int y2) override {
    return keep({PrintedItem::kLine, x1, y1, x2, y2, {}, face, font_size, line_width});
  }
  bool draw_text(int x, int y, const std::string& text) override {
    return keep({PrintedItem::kText, x, y, 0, 0, text, face, font_size, line_width});
  }
  bool fill_polygons(uint32_t rgb, const std::vector<PrintPolygon>& polygons) override {
    return keep({PrintedItem::kPolygons, static_cast<int>(rgb), 0, 0, 0, {}, face, font_size, line_width, polygons});
  }
  bool end_document() override {
    ++ended;
    return true;
  }
  void abort_document() override { ++aborted; }

 private:
  bool keep(PrintedItem item) {
    if (calls_++ == fail_at) return false;
    items.push_back(std::move(item));
    return true;
  }
  int calls_ = 0;
};

}  // namespace replay
