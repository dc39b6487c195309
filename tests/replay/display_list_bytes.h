// Builds display-list files byte by byte for the replay's tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dl_bytes {

inline void put_int(std::string& out, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

inline std::string text_record(int32_t tag, const std::string& text, int32_t x, int32_t y, int32_t size) {
  std::string out;
  put_int(out, tag);
  put_int(out, static_cast<int32_t>(text.size()));
  out += text;
  put_int(out, x);
  put_int(out, y);
  put_int(out, size);
  return out;
}

inline std::string title(const std::string& text, int32_t x, int32_t y, int32_t size = 30) {
  return text_record(1, text, x, y, size);
}

inline std::string label(const std::string& text, int32_t x, int32_t y, int32_t size = 10) {
  return text_record(3, text, x, y, size);
}

inline std::string line(int32_t pen_width, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  std::string out;
  for (int32_t v : {2, pen_width, x1, y1, x2, y2}) put_int(out, v);
  return out;
}

// A band record: colour 0x00BBGGRR and polygons of corners in sixteenths
// of a pixel.
inline std::string bands(uint32_t colour, const std::vector<std::vector<std::pair<int32_t, int32_t>>>& polygons) {
  std::string out;
  put_int(out, 4);
  put_int(out, static_cast<int32_t>(colour));
  put_int(out, static_cast<int32_t>(polygons.size()));
  for (const auto& polygon : polygons) {
    put_int(out, static_cast<int32_t>(polygon.size()));
    for (const auto& [x, y] : polygon) {
      put_int(out, x);
      put_int(out, y);
    }
  }
  return out;
}

}  // namespace dl_bytes
