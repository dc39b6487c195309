// Plots an input file into a BMP file, for looking at pictures by eye:
//   isovar_plot_bmp INPUT OUTPUT.bmp [WIDTH HEIGHT]
// The run log and the display list ("prtInfo.tmp") go to the current
// directory. Messages are printed as the library wrote them (code page 932).
#include <cstdio>
#include <cstdlib>

#include "IsovarLib.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT.bmp [WIDTH HEIGHT]\n", argv[0]);
    return 2;
  }
  int width = argc == 5 ? std::atoi(argv[3]) : 665;
  int height = argc == 5 ? std::atoi(argv[4]) : 585;
  char err[ISOVAR_ERRMSG_SIZE] = {};
  if (readData(argv[1], err) != 0) {
    std::fprintf(stderr, "%s\n", err);
    return 1;
  }
  HDC dc = CreateSurfaceDC(width, height);
  if (dc == nullptr) {
    std::fprintf(stderr, "no surface of %d x %d\n", width, height);
    return 1;
  }
  int result = saveBMP(err, dc, "prtInfo.tmp", argv[2], width, height);
  if (result != 0) std::fprintf(stderr, "%s\n", err);
  DeleteDC(dc);
  return result == 0 ? 0 : 1;
}
