// The whole plot run: arbitrary bytes through readData and, when the read
// succeeds, isovarMain and saveBMP at a size taken from the input.
//
// Input layout: two bytes of width and two of height (little-endian, mapped
// into 1..999), then the input file. When the first byte is odd, the plot run
// happens even after a failed read, as a window repaint does: the run then
// works on whatever the failed read left in the tables.
#include "IsovarLib.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int width = 1 + (data[0] | data[1] << 8) % 999;
  int height = 1 + (data[2] | data[3] << 8) % 999;
  std::string path = fuzz::write_input("input.iso", data + 4, size - 4);
  fuzz::GuardedErrMsg err;
  if (readData(path.c_str(), err.get()) != 0) {
    err.check_message();
    if ((data[0] & 1) == 0) return 0;
  }
  HDC dc = CreateSurfaceDC(width, height);
  if (dc == nullptr) std::abort();
  std::string dl = fuzz::work_dir() + "/prtInfo.tmp";
  std::string bmp = fuzz::work_dir() + "/out.bmp";
  if (isovarMain(err.get(), dc, dl.c_str(), width, height) != 0) {
    err.check_message();
  } else if (saveBMP(err.get(), dc, dl.c_str(), bmp.c_str(), width, height) != 0) {
    err.check_message();
  }
  err.check();
  DeleteDC(dc);
  return 0;
}
