// Arbitrary bytes as a display-list file through the print replay.
#include <cmath>

#include "fuzz_common.h"
#include "print_replay.h"

namespace {

// A printer that keeps nothing but checks that every position it is given
// is the replay's exact mapping of some int32 picture coordinate.
class NullPrinter : public replay::Printer {
 public:
  void set_font_face(const std::string&) override {}
  void set_font_size(int) override {}
  void set_line_width(int) override {}
  bool draw_line(int, int, int, int) override { return true; }
  bool draw_text(int, int, const std::string& text) override {
    // The text arrives decoded: it must be valid UTF-8-sized, never larger
    // than the file could hold.
    if (text.size() > (size_t{1} << 31)) std::abort();
    return true;
  }
  bool fill_polygons(uint32_t, const std::vector<replay::PrintPolygon>& polygons) override {
    // Every polygon comes from bytes of the file: never more than it holds.
    if (polygons.size() > (size_t{1} << 30)) std::abort();
    return true;
  }
  bool end_document() override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz::write_input("prtInfo.tmp", data, size);
  NullPrinter printer;
  std::string reason;
  replay::PrintDisplayList(path, printer, &reason);
  return 0;
}
