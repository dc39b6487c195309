// The display-list writer, of the records display_list_format.h lays out.
// Records collect in the run's writer and reach the file in large writes; a render
// always ends with dl_flush, so the file is complete when the run closes it.
#include <cmath>
#include <cstring>

#include "atomic_file.h"
#include "write_behind.h"
#include "shared/run_context.h"
#include "render/run.h"


namespace {

void write_out(Run& r, const unsigned char* bytes, std::size_t n) {
  if (r.ctx.display_list_file != nullptr) r.ctx.display_list_file->write(bytes, n);
}

// The buffer is full: in a large run it goes to the writing thread (which
// the first full buffer starts), and the next comes back from there.
void make_room(Run& r) {
  files::WriteBehind* behind = r.ctx.display_list_behind;
  if (behind != nullptr && r.ctx.display_list_file != nullptr) {
    r.dl.out = behind->hand_over(r.dl.out, r.dl.used);
    if (behind->started()) r.dl.capacity = files::WriteBehind::kBufferSize;  // else the same buffer again
  } else {
    write_out(r, r.dl.out, r.dl.used);
  }
  r.dl.used = 0;
}

void put_bytes(Run& r, const void* data, std::size_t n) {
  if (r.dl.used + n > r.dl.capacity) make_room(r);
  const auto* bytes = static_cast<const unsigned char*>(data);
  // A record longer than the buffer (a title can be): through it in parts.
  while (n > r.dl.capacity - r.dl.used) {
    const std::size_t part = r.dl.capacity - r.dl.used;
    std::memcpy(r.dl.out + r.dl.used, bytes, part);
    r.dl.used += part;
    bytes += part;
    n -= part;
    make_room(r);
  }
  std::memcpy(r.dl.out + r.dl.used, bytes, n);
  r.dl.used += n;
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

void put_text_record(Run& r, int32_t tag, const char* text, int32_t x, int32_t y, int32_t size) {
  std::size_t n = std::strlen(text);
  unsigned char head[8];
  store_int(head, tag);
  store_int(head + 4, static_cast<int32_t>(n));
  put_bytes(r, head, sizeof head);
  put_bytes(r, text, n);
  unsigned char tail[4 * kDlTextTailFields];
  store_int(tail, x);
  store_int(tail + 4, y);
  store_int(tail + 8, size);
  put_bytes(r, tail, sizeof tail);
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

void dl_title(Run& r, const char* text, int32_t x, int32_t y, int32_t size) {
  put_text_record(r, DL_TITLE, text, x, y, size);
}

void dl_line_record(unsigned char* at, int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  store_int(at, DL_LINE);
  store_int(at + 4, pen_width);
  store_int(at + 8, x1);
  store_int(at + 12, y1);
  store_int(at + 16, x2);
  store_int(at + 20, y2);
}

void dl_line(Run& r, int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  // Straight into the buffer: a dense model records millions of these.
  if (r.dl.used + kDlLineSize > r.dl.capacity) make_room(r);
  dl_line_record(r.dl.out + r.dl.used, pen_width, x1, y1, x2, y2);
  r.dl.used += kDlLineSize;
}

void dl_records(Run& r, const unsigned char* bytes, std::size_t n) { put_bytes(r, bytes, n); }

void dl_label(Run& r, const char* text, int32_t x, int32_t y, int32_t size) {
  put_text_record(r, DL_LABEL, text, x, y, size);
}

void dl_bands(Run& r, COLORREF colour, const POINTF* points, const int* counts, int32_t polygons) {
  unsigned char head[12];
  store_int(head, DL_BANDS);
  store_int(head + 4, static_cast<int32_t>(colour));
  store_int(head + 8, polygons);
  put_bytes(r, head, sizeof head);
  for (int32_t i = 0; i < polygons; ++i) {
    const int n = counts[i] < kMaxBandCorners ? counts[i] : kMaxBandCorners;
    const std::size_t size = 4 + 8 * static_cast<std::size_t>(n);
    if (r.dl.used + size > r.dl.capacity) make_room(r);
    unsigned char* at = r.dl.out + r.dl.used;
    store_int(at, n);
    for (int k = 0; k < n; ++k) {
      store_int(at + 4 + 8 * k, sixteenths(points[k].x));
      store_int(at + 8 + 8 * k, sixteenths(points[k].y));
    }
    r.dl.used += size;
    points += counts[i];
  }
}

void dl_flush(Run& r) {
  const files::WriteBehind* behind = r.ctx.display_list_behind;
  if (behind != nullptr && behind->started()) {
    make_room(r);  // after the buffers before it
  } else {
    write_out(r, r.dl.out, r.dl.used);
    r.dl.used = 0;
  }
}

void dl_discard(Run& r) {
  r.dl.out = r.dl.bytes;
  r.dl.capacity = kDlBufferSize;
  r.dl.used = 0;
}
