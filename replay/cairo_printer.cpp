#include "cairo_printer.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

namespace replay {

namespace {

// Font sizes outside this range come only from a damaged file; a glyph
// larger than the page would only cost time.
constexpr int kMinPoints = 1;
constexpr int kMaxPoints = 1000;
constexpr double kPointsPerTwip = 1.0 / 20.0;
constexpr double kPointsPerDot = 72.0 / kCairoDotsPerInch;

// A width of 0 is the thinnest line, one dot of the page's resolution: what
// the window's cosmetic pen prints on a printer of that resolution (cairo
// would draw nothing at 0).
constexpr double kHairline = kPointsPerDot;

// Where the document goes: into *pdf, unless it was abandoned.
struct Output {
  std::string* pdf;
  bool discard;
};

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  Output* out = static_cast<Output*>(closure);
  if (!out->discard) out->pdf->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

bool has_family(const std::string& family) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
  const bool found = fonts != nullptr && fonts->nfont > 0;
  if (fonts != nullptr) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return found;
}

class CairoPrinter : public Printer {
 public:
  CairoPrinter(const std::string& creator, std::string* pdf) : out_{pdf, false} {
    surface_ = cairo_pdf_surface_create_for_stream(append, &out_, kCairoPageWidth, kCairoPageHeight);
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, creator.c_str());
    cr_ = cairo_create(surface_);
    cairo_translate(cr_, kCairoMarginPoints, kCairoMarginPoints);
    cairo_set_source_rgb(cr_, 0, 0, 0);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    cairo_set_font_size(cr_, 10);
  }

  ~CairoPrinter() override {
    if (cr_ != nullptr) cairo_destroy(cr_);
    if (surface_ != nullptr) cairo_surface_destroy(surface_);
  }

  CairoPrinter(const CairoPrinter&) = delete;
  CairoPrinter& operator=(const CairoPrinter&) = delete;

  void set_font_face(const std::string& face) override {
    const std::string family = cairo_matched_family(face);
    cairo_select_font_face(cr_, family.c_str(), CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  }

  void set_font_size(int points) override {
    cairo_set_font_size(cr_, points < kMinPoints ? kMinPoints : points > kMaxPoints ? kMaxPoints : points);
  }

  void set_line_width(int dots) override {
    const double width = dots > 0 ? dots * kPointsPerDot : kHairline;
    if (width == cairo_get_line_width(cr_)) return;
    stroke();
    cairo_set_line_width(cr_, width);
  }

  // Lines of one width gather in one path, stroked when the width changes or
  // something else is drawn: each segment stays a subpath of its own, with
  // its own round ends, so the page looks the same as with one stroke per
  // segment, and cairo need not analyse every segment on its own.
  bool draw_line(int x1, int y1, int x2, int y2) override {
    cairo_move_to(cr_, x1 * kPointsPerTwip, y1 * kPointsPerTwip);
    cairo_line_to(cr_, x2 * kPointsPerTwip, y2 * kPointsPerTwip);
    pending_ = true;
    return healthy();
  }

  // A band in one path, filled by the winding rule as the other printers do;
  // the colour is 0x00RRGGBB. Lines and texts are black again after it.
  bool fill_polygons(uint32_t rgb, const std::vector<PrintPolygon>& polygons) override {
    stroke();
    cairo_save(cr_);
    cairo_set_source_rgb(cr_, (rgb >> 16 & 0xFF) / 255.0, (rgb >> 8 & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    for (const PrintPolygon& polygon : polygons) {
      if (polygon.size() < 3) continue;
      cairo_move_to(cr_, polygon[0].x * kPointsPerTwip, polygon[0].y * kPointsPerTwip);
      for (std::size_t i = 1; i < polygon.size(); ++i)
        cairo_line_to(cr_, polygon[i].x * kPointsPerTwip, polygon[i].y * kPointsPerTwip);
      cairo_close_path(cr_);
    }
    cairo_fill(cr_);
    cairo_restore(cr_);
    return healthy();
  }

  bool draw_text(int x, int y, const std::string& text) override {
    stroke();
    // show_text places the baseline; the replay gives the top-left corner.
    cairo_font_extents_t extents;
    cairo_font_extents(cr_, &extents);
    cairo_move_to(cr_, x * kPointsPerTwip, y * kPointsPerTwip + extents.ascent);
    cairo_show_text(cr_, text.c_str());
    cairo_new_path(cr_);
    return healthy();
  }

  bool end_document() override {
    stroke();
    if (!healthy()) return false;
    cairo_show_page(cr_);
    cairo_destroy(cr_);
    cr_ = nullptr;
    cairo_surface_finish(surface_);
    const bool ok = cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface_);
    surface_ = nullptr;
    return ok;
  }

  void abort_document() override {
    out_.discard = true;
    out_.pdf->clear();
  }

 private:
  void stroke() {
    if (pending_) cairo_stroke(cr_);
    pending_ = false;
  }

  bool healthy() const {
    return cr_ != nullptr && cairo_status(cr_) == CAIRO_STATUS_SUCCESS &&
           cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS;
  }

  Output out_;
  bool pending_ = false;  // lines wait in the path
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
};

}  // namespace

std::string cairo_matched_family(const std::string& face) {
  if (!FcInit()) return "monospace";
  std::string ascii_space = face;
  for (std::size_t at; (at = ascii_space.find("\xE3\x80\x80")) != std::string::npos;)
    ascii_space.replace(at, 3, " ");
  for (const std::string& family : {face, ascii_space, std::string("MS Gothic"), std::string("IPAGothic")})
    if (has_family(family)) return family;
  return "monospace";
}

bool PrintDisplayListToCairoPdf(const std::string& dl_path, const std::string& creator, std::string* pdf,
                                std::string* reason) {
  pdf->clear();
  CairoPrinter printer(creator, pdf);
  if (!PrintDisplayList(dl_path, printer, reason)) {
    pdf->clear();
    return false;
  }
  return true;
}

}  // namespace replay
