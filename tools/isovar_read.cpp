// isovar-read FILE...: reads each input file through readData, as the window
// does, and prints what the model then holds (kind, titles, levels, size,
// extent), or the library's message. Texts are converted from code page 932
// to UTF-8 for the terminal. Exit status 1 when any file failed to read.
#include <cstdio>
#include <string>

#include "IsovarLib.h"
#include "cp932.h"
#include "entry/defaults.h"

namespace {

std::string to_utf8(const char* text) { return cp932::to_utf8(text); }

void print_levels(const ModelStore& m) {
  std::printf("  levels (%d):", m.level_count);
  for (int k = 0; k < m.level_count; ++k) {
    std::printf(" %g", static_cast<double>(m.levels[k]));
    if (m.level_kind[k] == 1 && m.level_label[k] == 0) {
      std::printf(" (bold, no labels)");
    } else if (m.level_kind[k] == 1) {
      std::printf(" (bold)");
    } else if (m.level_label[k] == 0) {
      std::printf(" (no labels)");
    }
  }
  std::printf("\n");
}

void print_grid(const ModelStore& m) {
  int given = 0;
  for (int i = 1; i <= m.grid_nx; ++i)
    for (int j = 1; j <= m.grid_ny; ++j) given += m.grid_defined[i][j];
  std::printf("  grid model: %d x %d points, %d of %d values given\n", m.grid_nx, m.grid_ny, given,
              m.grid_nx * m.grid_ny);
}

void print_fem(const ModelStore& m) {
  int nodes = 0, valued = 0, triangles = 0, quads = 0;
  for (int n = 0; n < kNodeSlots; ++n) {
    nodes += m.node_state[n] != 0;
    valued += m.node_state[n] == 2;
    if (m.element_defined[n] != 0) ++(m.element_nodes[n][3] == -1 ? triangles : quads);
  }
  std::printf("  finite-element model: %d nodes (%d with values), %d elements (%d triangles, %d quadrilaterals)",
              nodes, valued, triangles + quads, triangles, quads);
  std::printf(", %d frame lines\n", m.frame_count);
}

const char* const kUsage =
    "Usage: isovar-read FILE...\n"
    "Reads each Isovar input file as the window does and prints what the model then\n"
    "holds: its kind and size, titles, display mode, levels and extent, or the\n"
    "library's message when the file is refused. Texts are printed in UTF-8.\n"
    "\n"
    "Options:\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Exit status: 0 when every file was read, 1 when any was refused, 2 on a\n"
    "usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::puts("isovar-read " ISOVAR_VERSION);
    return 0;
  }
  int failed = 0;
  for (int a = 1; a < argc; ++a) {
    char errMsg[ISOVAR_ERRMSG_SIZE];
    if (readData(argv[a], errMsg) != 0) {
      std::printf("%s: %s\n", argv[a], to_utf8(errMsg).c_str());
      failed = 1;
      continue;
    }
    const ModelStore& m = model_store;
    std::printf("%s:\n", argv[a]);
    if (m.model_kind == kGridModel) {
      print_grid(m);
    } else {
      print_fem(m);
    }
    for (int t = 0; t < m.title_count; ++t) std::printf("  title %d: %s\n", t + 1, to_utf8(m.titles[t]).c_str());
    std::printf("  display: %s\n", m.display_mode == 2 ? "full" : "normal");
    print_levels(m);
    std::printf("  extent: x %g .. %g, y %g .. %g\n", static_cast<double>(m.extent_xmin),
                static_cast<double>(m.extent_xmax), static_cast<double>(m.extent_ymin),
                static_cast<double>(m.extent_ymax));
  }
  return failed;
}
