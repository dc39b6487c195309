// The whole plot run: arbitrary bytes through readData and, when the read
// succeeds, isovarMain and saveBMP at a size taken from the input.
//
// Input layout: two bytes of width and two of height (little-endian), then
// the input file. Most inputs plot small (1..48 pixels a side, which keeps the
// runs fast); with the top four bits of the fourth byte set, the sides run up
// to 999. When the first byte is odd, the plot run happens even after a failed
// read, as a window repaint does: the run then works on the model read
// before, which a refused file leaves in place. When the third byte is odd and the file is at most
// 4 KiB, the tables are those of large mode (the size cap keeps the grids a
// file can declare, and so each run, small). When the second bit of the
// first byte is set, the bands are filled, the surface records SVG (whose
// document is then made) and the band polygons are exported.
#include "IsovarLib.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int sides = (data[3] & 0xF0) == 0xF0 ? 999 : 48;
  int width = 1 + (data[0] | data[1] << 8) % sides;
  int height = 1 + (data[2] | (data[3] & 0x7F) << 8) % sides;
  setLargeModels((data[2] & 1) != 0 && size - 4 <= 4096 ? 1 : 0);
  const bool pictures = (data[0] & 2) != 0;
  setFillBands(pictures ? 1 : 0);
  std::string path = fuzz::write_input("input.isovar", data + 4, size - 4);
  fuzz::GuardedErrMsg err;
  if (readData(path.c_str(), err.get()) != 0) {
    err.check_message();
    if ((data[0] & 1) == 0) return 0;
  }
  HDC dc = pictures ? CreateSvgSurfaceDC(width, height) : CreateSurfaceDC(width, height);
  if (dc == nullptr) std::abort();
  std::string dl = fuzz::work_dir() + "/prtInfo.tmp";
  std::string bmp = fuzz::work_dir() + "/out.bmp";
  if (isovarMain(err.get(), dc, dl.c_str(), width, height) != 0) {
    err.check_message();
  } else if (saveBMP(err.get(), dc, dl.c_str(), bmp.c_str(), width, height) != 0) {
    err.check_message();
  }
  if (pictures) {
    std::size_t length = 0;
    const char* svg = GetSurfaceSvg(dc, &length);
    if (svg == nullptr || svg[length] != '\0') std::abort();
    const std::string bands = fuzz::work_dir() + "/bands.geojson";
    if (saveBands(err.get(), bands.c_str()) != 0) err.check_message();
  }
  err.check();
  DeleteDC(dc);
  return 0;
}
