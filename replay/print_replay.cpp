// Reading the display-list file and replaying it on a printer.
#include "print_replay.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "cp932.h"
#include "display_list_format.h"

namespace replay {

const char* const kPrintFace = "ＭＳ　ゴシック";

namespace {

// A text is read in pieces of this size, so a length field larger than the
// file costs no more memory than the bytes that are really there.
constexpr std::size_t kTextChunk = 64 * 1024;

enum class Read { kOk, kEnd, kError };

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads exactly size bytes. kEnd when the file ends first (a record cut
// short, or the clean end of the file before a tag).
Read read_bytes(std::FILE* f, void* dest, std::size_t size) {
  if (size == 0) return Read::kOk;
  std::size_t got = std::fread(dest, 1, size, f);
  if (got == size) return Read::kOk;
  return std::ferror(f) ? Read::kError : Read::kEnd;
}

// Little-endian signed 32-bit integers, whatever the host's byte order.
Read read_ints(std::FILE* f, int32_t* out, int count) {
  unsigned char bytes[4 * 5];
  Read r = read_bytes(f, bytes, 4 * static_cast<std::size_t>(count));
  if (r != Read::kOk) return r;
  for (int i = 0; i < count; ++i) {
    const unsigned char* b = bytes + 4 * i;
    uint32_t u = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    out[i] = static_cast<int32_t>(u);
  }
  return Read::kOk;
}

Read read_text(std::FILE* f, int32_t n, std::string& text) {
  text.clear();
  std::size_t left = static_cast<std::size_t>(n);
  while (left > 0) {
    std::size_t piece = left < kTextChunk ? left : kTextChunk;
    std::size_t at = text.size();
    text.resize(at + piece);
    Read r = read_bytes(f, &text[at], piece);
    if (r != Read::kOk) return r;
    left -= piece;
  }
  return Read::kOk;
}

// pixel * 14 + offset as a printer position; false when it does not fit.
bool to_twips(int32_t pixel, int offset, int& twips) {
  int64_t t = int64_t{pixel} * kTwipsPerPixel + offset;
  if (t < std::numeric_limits<int>::min() || t > std::numeric_limits<int>::max()) return false;
  twips = static_cast<int>(t);
  return true;
}

class Replay {
 public:
  Replay(Printer& printer, std::string* reason) : printer_(printer), reason_(reason) {}

  bool run(const std::string& path) {
    printer_.set_font_face(kPrintFace);
    // The document begins with the first thing drawn on it; nothing to do.

    errno = 0;
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
      // A missing file is an empty page.
      if (errno == ENOENT) return finish();
      return fail("cannot open the display list " + path + ": " + std::strerror(errno));
    }
    if (!open_converter()) return false;

    for (;;) {
      long at = std::ftell(file.get());
      int32_t tag;
      Read r = read_ints(file.get(), &tag, 1);
      if (r == Read::kEnd) break;
      if (r == Read::kError) return read_error(path);
      bool go_on = true;
      if (tag == DL_BANDS) {
        r = band_record(file.get(), at, go_on);
      } else if (!paint_bands()) {
        return false;
      } else if (tag == DL_TITLE || tag == DL_LABEL) {
        r = text_record(file.get(), tag, at, go_on);
      } else if (tag == DL_LINE) {
        r = line_record(file.get(), at, go_on);
      } else {
        break;  // unknown tag: what came before stands
      }
      if (r == Read::kEnd) break;  // a record cut short is not used
      if (r == Read::kError) return read_error(path);
      if (!go_on) return false;
    }
    if (!paint_bands()) return false;
    return finish();
  }

 private:
  bool open_converter() {
    if (!cp932::available()) return fail("no code page 932 converter");
    return true;
  }

  Read text_record(std::FILE* f, int32_t tag, long at, bool& go_on) {
    int32_t n;
    Read r = read_ints(f, &n, 1);
    if (r != Read::kOk) return r;
    if (n < 0) {
      go_on = fail("text record at byte " + std::to_string(at) + " has the negative length " +
                   std::to_string(n));
      return Read::kOk;
    }
    r = read_text(f, n, bytes_);
    if (r != Read::kOk) return r;
    int32_t xys[kDlTextTailFields];
    r = read_ints(f, xys, kDlTextTailFields);
    if (r != Read::kOk) return r;

    int offset = tag == DL_TITLE ? kTitleOffset : kLineOffset;
    int x, y;
    if (!to_twips(xys[0], offset, x) || !to_twips(xys[1], offset, y)) {
      go_on = fail("text record at byte " + std::to_string(at) + " lies out of the printer's range");
      return Read::kOk;
    }
    printer_.set_font_size(xys[2]);
    if (!printer_.draw_text(x, y, cp932::to_utf8(bytes_))) go_on = fail("the printer failed");
    return Read::kOk;
  }

  Read line_record(std::FILE* f, long at, bool& go_on) {
    int32_t v[kDlLineFields];
    Read r = read_ints(f, v, kDlLineFields);
    if (r != Read::kOk) return r;
    int64_t width = int64_t{v[0]} * kWidthPerPenPixel;
    int x1, y1, x2, y2;
    if (width < 0 || width > std::numeric_limits<int>::max() || !to_twips(v[1], kLineOffset, x1) ||
        !to_twips(v[2], kLineOffset, y1) || !to_twips(v[3], kLineOffset, x2) ||
        !to_twips(v[4], kLineOffset, y2)) {
      go_on = fail("line record at byte " + std::to_string(at) + " lies out of the printer's range");
      return Read::kOk;
    }
    printer_.set_line_width(static_cast<int>(width));
    if (!printer_.draw_line(x1, y1, x2, y2)) go_on = fail("the printer failed");
    return Read::kOk;
  }

  // A DL_BANDS record, its polygons gathered by colour.
  Read band_record(std::FILE* f, long at, bool& go_on) {
    int32_t head[2];
    Read r = read_ints(f, head, 2);
    if (r != Read::kOk) return r;
    if (head[1] < 0) {
      go_on = fail("band record at byte " + std::to_string(at) + " has the negative count " + std::to_string(head[1]));
      return Read::kOk;
    }
    // Read whole before anything is kept: a record cut short adds nothing.
    std::vector<PrintPolygon> polygons;
    for (int32_t i = 0; i < head[1]; ++i) {
      int32_t n;
      r = read_ints(f, &n, 1);
      if (r != Read::kOk) return r;
      if (n < 0) {
        go_on = fail("band record at byte " + std::to_string(at) + " has a polygon of " + std::to_string(n) +
                     " corners");
        return Read::kOk;
      }
      PrintPolygon polygon;
      for (int32_t k = 0; k < n; ++k) {
        int32_t xy[2];
        r = read_ints(f, xy, 2);
        if (r != Read::kOk) return r;
        polygon.push_back(PrintPoint{band_twips(xy[0]), band_twips(xy[1])});
      }
      polygons.push_back(std::move(polygon));
    }
    const uint32_t c = static_cast<uint32_t>(head[0]);
    const uint32_t rgb = (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);  // from 0x00BBGGRR
    std::vector<PrintPolygon>* same = nullptr;
    for (auto& [colour, list] : bands_)
      if (colour == rgb) same = &list;
    if (same == nullptr) {
      bands_.emplace_back(rgb, std::vector<PrintPolygon>());
      same = &bands_.back().second;
    }
    for (PrintPolygon& p : polygons) same->push_back(std::move(p));
    return Read::kOk;
  }

  // A band corner in sixteenths of a pixel as twips, to the nearest; every
  // int32 fits.
  static int band_twips(int32_t sixteenths) {
    const int64_t scaled = int64_t{sixteenths} * kTwipsPerPixel;
    const int64_t whole = scaled >= 0 ? (scaled + kDlBandSubpixels / 2) / kDlBandSubpixels
                                      : -((-scaled + kDlBandSubpixels / 2) / kDlBandSubpixels);
    return static_cast<int>(whole + kLineOffset);
  }

  // Paints the band polygons gathered so far: false when the printer fails.
  bool paint_bands() {
    for (const auto& [rgb, polygons] : bands_) {
      if (!printer_.fill_polygons(rgb, polygons)) {
        bands_.clear();
        return fail("the printer failed");
      }
    }
    bands_.clear();
    return true;
  }

  bool finish() {
    if (!printer_.end_document()) {
      if (reason_) *reason_ = "the printer failed to end the document";
      return false;
    }
    return true;
  }

  bool read_error(const std::string& path) {
    return fail("cannot read the display list " + path + ": " + std::strerror(errno));
  }

  bool fail(const std::string& why) {
    if (reason_) *reason_ = why;
    printer_.abort_document();
    return false;
  }

  Printer& printer_;
  std::string* reason_;
  std::string bytes_;
  std::vector<std::pair<uint32_t, std::vector<PrintPolygon>>> bands_;  // by colour, first come first
};

}  // namespace

bool PrintDisplayList(const std::string& path, Printer& printer, std::string* reason) {
  Replay replay(printer, reason);
  return replay.run(path);
}

std::string cp932_to_utf8(const std::string& text) {
  if (!cp932::available()) return text;
  return cp932::to_utf8(text);
}

}  // namespace replay
