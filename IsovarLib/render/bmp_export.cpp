// BMP export: the drawn picture read back pixel by pixel, then written as an
// uncompressed 24-bit BMP file: a 14-byte file header, a 40-byte information
// header, and the rows from the bottom one up, blue-green-red, each padded
// with zero bytes to a multiple of four.
#include <cstring>

#include "atomic_file.h"
#include "shared/run_context.h"
#include "isovar_messages.h"
#include "render/run.h"


namespace {

constexpr int32_t kHeaderBytes = 14 + 40;
constexpr int32_t kPixelsPerMetre = 3780;

void store_u16(unsigned char* at, uint32_t v) {
  at[0] = static_cast<unsigned char>(v);
  at[1] = static_cast<unsigned char>(v >> 8);
}

void store_u32(unsigned char* at, uint32_t v) {
  store_u16(at, v);
  store_u16(at + 2, v >> 16);
}

// The whole file goes through here: headers, then every row.
void write_bmp(Run& r, files::AtomicFile& out, int32_t width, int32_t height) {
  const int32_t row_bytes = (width * 3 + 3) / 4 * 4;
  const uint32_t image_bytes = static_cast<uint32_t>(row_bytes) * static_cast<uint32_t>(height);

  unsigned char header[kHeaderBytes] = {};
  header[0] = 'B';
  header[1] = 'M';
  store_u32(header + 2, image_bytes + kHeaderBytes);
  store_u32(header + 10, kHeaderBytes);
  store_u32(header + 14, 40);
  store_u32(header + 18, static_cast<uint32_t>(width));
  store_u32(header + 22, static_cast<uint32_t>(height));  // positive: bottom-up rows
  store_u16(header + 26, 1);
  store_u16(header + 28, 24);
  store_u32(header + 34, image_bytes);
  store_u32(header + 38, kPixelsPerMetre);
  store_u32(header + 42, kPixelsPerMetre);
  out.write(header, sizeof header);

  // Cleared once: the padding after the pixels of every row stays zero.
  unsigned char row[kMaxPicture * 3 + 3] = {};
  for (int32_t y = height - 1; y >= 0; --y) {
    const COLORREF* source = r.pixels->pixels + static_cast<std::size_t>(y) * kPixelStride;
    unsigned char* at = row;
    for (int32_t x = 0; x < width; ++x, at += 3) {
      COLORREF c = source[x];
      if (c == CLR_INVALID) c = kWhite;  // a pixel the surface could not report
      at[0] = GetBValue(c);
      at[1] = GetGValue(c);
      at[2] = GetRValue(c);
    }
    out.write(row, static_cast<std::size_t>(row_bytes));
  }
}

}  // namespace

int32_t capture_pixels(Run& r, HDC hdc) {
  const int32_t width = r.ctx.plot_width;
  const int32_t height = r.ctx.plot_height;
  if (width >= kMaxPicture || height >= kMaxPicture) {
    put_message(r.ctx.message_buffer, kMessageBufferSize, msg::picture_too_large, width,
                height);
    return -1;
  }
  if (width < 0 || height < 0) {
    put_message(r.ctx.message_buffer, kMessageBufferSize, msg::picture_size_invalid, width,
                height);
    return -1;
  }
  if (r.pixels == nullptr) {
    r.pixels = static_cast<PixelBuffer*>(map_zeroed(sizeof(PixelBuffer)));
    if (r.pixels == nullptr) {
      put_message(r.ctx.message_buffer, kMessageBufferSize, msg::out_of_memory, "capture_pixels");
      return -1;
    }
  }
  for (int32_t y = 0; y < height; ++y) {
    COLORREF* row = r.pixels->pixels + static_cast<std::size_t>(y) * kPixelStride;
    for (int32_t x = 0; x < width; ++x) row[x] = GetPixel(hdc, x, y);
  }
  return 0;
}

int32_t saveBMPFile(Run& r, const char* path) {
  files::AtomicFile out;
  if (int err = out.open(path, files::Target::kNamedByUser)) {
    put_message(r.ctx.message_buffer, kMessageBufferSize, msg::bmp_open_failed,
                path != nullptr ? path : "");
    return err;
  }
  // The size was checked by the capture; a picture that did not pass it is
  // written as an empty one rather than read past the buffer.
  int32_t width = r.ctx.plot_width;
  int32_t height = r.ctx.plot_height;
  if (width < 0 || width >= kMaxPicture || height < 0 || height >= kMaxPicture) width = height = 0;
  write_bmp(r, out, width, height);
  if (int err = out.commit()) {
    put_message(r.ctx.message_buffer, kMessageBufferSize, msg::bmp_write_failed, path);
    return err;
  }
  return 0;
}
