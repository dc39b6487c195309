// The display-list writer, of the records display_list_format.h lays out.
// Records collect in dl_writer and reach the file in large writes; a render
// always ends with dl_flush, so the file is complete when the run closes it.
#include <cmath>
#include <cstring>

#include "atomic_file.h"
#include "shared/run_context.h"
#include "render.h"

DisplayListWriter dl_writer;

namespace {

void write_out(const unsigned char* bytes, std::size_t n) {
  if (run_context.display_list_file != nullptr) run_context.display_list_file->write(bytes, n);
}

void put_bytes(const void* data, std::size_t n) {
  if (dl_writer.used + n > kDlBufferSize) dl_flush();
  if (n > kDlBufferSize) {
    write_out(static_cast<const unsigned char*>(data), n);
    return;
  }
  std::memcpy(dl_writer.bytes + dl_writer.used, data, n);
  dl_writer.used += n;
}

void store_int(unsigned char* at, int32_t value) {
  uint32_t u = static_cast<uint32_t>(value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(at, &u, 4);  // the file's order already: one store
#else
  at[0] = static_cast<unsigned char>(u);
  at[1] = static_cast<unsigned char>(u >> 8);
  at[2] = static_cast<unsigned char>(u >> 16);
  at[3] = static_cast<unsigned char>(u >> 24);
#endif
}

void put_text_record(int32_t tag, const char* text, int32_t x, int32_t y, int32_t size) {
  std::size_t n = std::strlen(text);
  unsigned char head[8];
  store_int(head, tag);
  store_int(head + 4, static_cast<int32_t>(n));
  put_bytes(head, sizeof head);
  put_bytes(text, n);
  unsigned char tail[4 * kDlTextTailFields];
  store_int(tail, x);
  store_int(tail + 4, y);
  store_int(tail + 8, size);
  put_bytes(tail, sizeof tail);
}

// A band corner in sixteenths of a pixel, to the nearest; corners lie in the
// frame, but a picture of more than 2^27 pixels a side would pass the range.
int32_t sixteenths(float v) {
  const double s = double{v} * kDlBandSubpixels + 0.5;
  if (s >= 0.0 && s < 2147483647.0) return static_cast<int32_t>(s);  // truncation is floor here
  if (!(s > -2147483648.0)) return INT32_MIN;
  if (s >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(std::floor(s));
}

}  // namespace

void dl_title(const char* text, int32_t x, int32_t y, int32_t size) {
  put_text_record(DL_TITLE, text, x, y, size);
}

void dl_line(int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  // Straight into the buffer: a dense model records millions of these.
  constexpr std::size_t kSize = 4 * (1 + kDlLineFields);
  if (dl_writer.used + kSize > kDlBufferSize) dl_flush();
  unsigned char* record = dl_writer.bytes + dl_writer.used;
  store_int(record, DL_LINE);
  store_int(record + 4, pen_width);
  store_int(record + 8, x1);
  store_int(record + 12, y1);
  store_int(record + 16, x2);
  store_int(record + 20, y2);
  dl_writer.used += kSize;
}

void dl_label(const char* text, int32_t x, int32_t y, int32_t size) {
  put_text_record(DL_LABEL, text, x, y, size);
}

void dl_bands(COLORREF colour, const POINTF* points, const int* counts, int32_t polygons) {
  unsigned char head[12];
  store_int(head, DL_BANDS);
  store_int(head + 4, static_cast<int32_t>(colour));
  store_int(head + 8, polygons);
  put_bytes(head, sizeof head);
  for (int32_t i = 0; i < polygons; ++i) {
    const int n = counts[i] < kMaxBandCorners ? counts[i] : kMaxBandCorners;
    const std::size_t size = 4 + 8 * static_cast<std::size_t>(n);
    if (dl_writer.used + size > kDlBufferSize) dl_flush();
    unsigned char* at = dl_writer.bytes + dl_writer.used;
    store_int(at, n);
    for (int k = 0; k < n; ++k) {
      store_int(at + 4 + 8 * k, sixteenths(points[k].x));
      store_int(at + 8 + 8 * k, sixteenths(points[k].y));
    }
    dl_writer.used += size;
    points += counts[i];
  }
}

void dl_flush() {
  write_out(dl_writer.bytes, dl_writer.used);
  dl_writer.used = 0;
}

void dl_discard() { dl_writer.used = 0; }
