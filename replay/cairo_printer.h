// The print replay's printer over a cairo PDF surface: the printed page
// without a window system, for isovar-plot. It draws what the window's print
// command draws on a PDF page (qt_printer.h): the same page, margins and
// resolution, black lines with round ends and joins, black text in the
// matched face with its top-left corner at the given position.
#pragma once

#include <string>

#include "print_replay.h"

namespace replay {

// A4 portrait in points, as the window's PDF page gives it, and the
// printable area a quarter inch inside each edge; positions and widths are
// laid out at 600 dots per inch, so widths are in 1/600 inch.
constexpr double kCairoPageWidth = 595.0;
constexpr double kCairoPageHeight = 842.0;
constexpr double kCairoMarginPoints = 18.0;
constexpr double kCairoDotsPerInch = 600.0;

// The installed font family a face name is printed in, found as the window
// finds it: the face itself when installed, else (for the Japanese gothic
// face the replay asks for) its ASCII-space spelling, "MS Gothic",
// "IPAGothic", and last "monospace", which fontconfig resolves to some
// fixed-pitch font.
std::string cairo_matched_family(const std::string& face_utf8);

// Replays the display list at dl_path onto a one-page PDF made in memory,
// into *pdf, with creator as the document's creator; the caller writes it
// where it belongs. False, with the reason, when the replay fails.
bool PrintDisplayListToCairoPdf(const std::string& dl_path, const std::string& creator, std::string* pdf,
                                std::string* reason = nullptr);

}  // namespace replay
