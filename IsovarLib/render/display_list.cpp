// The display-list writer: flat records of little-endian 32-bit integers and
// raw text bytes, no header and no padding.
//
//   DL_TITLE, DL_LABEL: tag, n, n text bytes (no NUL), x, y, size
//   DL_LINE:            tag, pen_width, x1, y1, x2, y2
//
// Records collect in dl_writer and reach the file in large writes; a render
// always ends with dl_flush, so the file is complete when the run closes it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "shared/run_context.h"
#include "render.h"

DisplayListWriter dl_writer;

namespace {

void write_out(const unsigned char* bytes, std::size_t n) {
  // Write results are not checked: a short file simply ends early for its
  // reader, which stops at the last whole record.
  if (run_context.display_list_file != nullptr && n > 0)
    std::fwrite(bytes, 1, n, run_context.display_list_file);
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
  at[0] = static_cast<unsigned char>(u);
  at[1] = static_cast<unsigned char>(u >> 8);
  at[2] = static_cast<unsigned char>(u >> 16);
  at[3] = static_cast<unsigned char>(u >> 24);
}

void put_text_record(int32_t tag, const char* text, int32_t x, int32_t y, int32_t size) {
  std::size_t n = std::strlen(text);
  unsigned char head[8];
  store_int(head, tag);
  store_int(head + 4, static_cast<int32_t>(n));
  put_bytes(head, sizeof head);
  put_bytes(text, n);
  unsigned char tail[12];
  store_int(tail, x);
  store_int(tail + 4, y);
  store_int(tail + 8, size);
  put_bytes(tail, sizeof tail);
}

}  // namespace

void dl_title(const char* text, int32_t x, int32_t y, int32_t size) {
  put_text_record(DL_TITLE, text, x, y, size);
}

void dl_line(int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  unsigned char record[24];
  store_int(record, DL_LINE);
  store_int(record + 4, pen_width);
  store_int(record + 8, x1);
  store_int(record + 12, y1);
  store_int(record + 16, x2);
  store_int(record + 20, y2);
  put_bytes(record, sizeof record);
}

void dl_label(const char* text, int32_t x, int32_t y, int32_t size) {
  put_text_record(DL_LABEL, text, x, y, size);
}

void dl_flush() {
  write_out(dl_writer.bytes, dl_writer.used);
  dl_writer.used = 0;
}

void dl_discard() { dl_writer.used = 0; }

std::FILE* open_rewrite(const char* path) {
  if (path == nullptr) return nullptr;
  int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

void end_rewrite(std::FILE* file) {
  // The stream's position is the length of the new content; any old bytes
  // beyond it go. When a write failed, the file is emptied instead: the old
  // content behind the new records would otherwise read as records.
  long length = std::fflush(file) == 0 && !std::ferror(file) ? std::ftell(file) : -1;
  if (length < 0) length = 0;
  if (ftruncate(fileno(file), length) != 0) return;  // nothing to report
}
