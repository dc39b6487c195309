// The print replay: draws a display-list file on a printer page. It reads the
// file by its record layout (display_list_format.h; positions by byte count;
// it stops at the end of the file, at a record cut short, or at an unknown
// tag) and maps picture pixels to twips: 14 twips a pixel, lines, labels and
// band polygons moved by +110 twips, titles by -800, lines 4 printer pixels
// wide per pixel of pen width. Band polygons (a plot with filled bands) are
// painted in their colours, one shape per colour, before what follows them.
//
// Used by the window's print command and by isovar-plot --pdf. It never calls
// the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace replay {

// A printer position in twips.
struct PrintPoint {
  int x;
  int y;
};
using PrintPolygon = std::vector<PrintPoint>;

// What the replay needs of a printer. Positions are twips (1/1440 inch) from
// the top-left corner of the printable area, x to the right, y downwards.
// Face, size and width stay set until they are set again.
class Printer {
 public:
  virtual ~Printer() = default;
  virtual void set_font_face(const std::string& face_utf8) = 0;
  virtual void set_font_size(int points) = 0;
  virtual void set_line_width(int printer_pixels) = 0;
  // Each returns false when the printer reports an error.
  virtual bool draw_line(int x1, int y1, int x2, int y2) = 0;
  virtual bool draw_text(int x, int y, const std::string& text_utf8) = 0;  // top-left corner
  // Fills the polygons in the colour rgb (0xRRGGBB), without an outline, as
  // ONE shape: the nonzero winding rule over all of them together (each
  // polygon may run either way round; they never overlap). Painting them
  // one by one would show the page's white through hairline seams where
  // antialiased edges meet. Lines and texts drawn later go over them; black
  // is for lines and texts only, so this is the only colour on the page.
  virtual bool fill_polygons(uint32_t rgb, const std::vector<PrintPolygon>& polygons) = 0;
  virtual bool end_document() = 0;
  // Called instead of end_document when a failure interrupts the replay: a
  // half-drawn page is thrown away rather than sent. The default does nothing.
  virtual void abort_document() {}
};

// The face every text is printed in.
extern const char* const kPrintFace;  // "ＭＳ　ゴシック"

// The mapping from picture pixels to twips.
constexpr int kTwipsPerPixel = 14;
constexpr int kLineOffset = 110;    // lines and labels
constexpr int kTitleOffset = -800;  // titles
constexpr int kWidthPerPenPixel = 4;

// Replays the display-list file at path onto one page of printer and ends
// the document. A missing or empty file prints an empty page. Returns false,
// with the reason (English, UTF-8) in *reason when given, and abandons the
// page when the file cannot be read, a text record has a negative length, a
// band record a negative count, a position or line width does not fit the
// printer's integers (only a damaged file holds such values), or the printer
// reports an error.
//
// Band records are gathered until the first record of another kind (or the
// end) and then painted, one fill_polygons call per colour in the order the
// colours first came; a band record cut short is not used.
//
// Texts are decoded from code page 932; a byte sequence that is not code page
// 932 becomes U+FFFD. A text's length is never trusted for memory beyond the
// bytes the file really holds.
bool PrintDisplayList(const std::string& path, Printer& printer, std::string* reason = nullptr);

// The UTF-8 text of code page 932 bytes, decoded as the replay decodes its
// texts (U+FFFD for what is not code page 932). Also for showing the
// library's messages.
std::string cp932_to_utf8(const std::string& cp932);

}  // namespace replay
