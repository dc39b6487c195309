// Arbitrary bytes as an input file through readData.
#include "IsovarLib.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz::write_input("input.isovar", data, size);
  fuzz::GuardedErrMsg err;
  if (readData(path.c_str(), err.get()) != 0) {
    err.check_message();
  } else {
    err.check();
  }
  return 0;
}
