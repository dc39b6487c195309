// PNG pictures of a drawing surface, encoded for speed: the pictures are flat
// colours and thin lines, which zlib's fastest level with run-length matching
// compresses almost as well as the slow settings do. The pixels are exactly
// the surface's (8-bit truecolour, no gamma or colour chunks).
#pragma once

#include <cstdint>
#include <string>

namespace isovar_plot {

// Encodes width x height pixels (0x00RRGGBB words, top row first) as a PNG
// file into *png. False when the encoder fails; *png is then empty.
bool encode_png(const uint32_t* pixels, int width, int height, std::string* png);

}  // namespace isovar_plot
