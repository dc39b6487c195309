// isovar-gen: writes a made-up model file, for trying large models.
//   isovar-gen noise N OUTPUT [RAW]    a few sines and 2 % noise on an N x N grid
//                                      (RAW: its values as float32, column by column)
//   isovar-gen terrain NX NY OUTPUT    an elevation model in metres, levels every 40 m
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model_gen.h"

int main(int argc, char** argv) {
  const std::string kind = argc > 1 ? argv[1] : "";
  bool ok;
  if (kind == "noise" && (argc == 4 || argc == 5)) {
    ok = model_gen::write_noisy_field(argv[3], std::atoi(argv[2]), 1, argc == 5 ? argv[4] : "");
  } else if (kind == "terrain" && argc == 5) {
    ok = model_gen::write_terrain(argv[4], std::atoi(argv[2]), std::atoi(argv[3]));
  } else {
    std::fprintf(stderr, "usage: isovar-gen noise N OUTPUT [RAW] | isovar-gen terrain NX NY OUTPUT\n");
    return 2;
  }
  if (!ok) {
    std::fprintf(stderr, "isovar-gen: cannot write %s\n", argv[argc - 1]);
    return 1;
  }
  return 0;
}
