// The cairo printer as a module that isovar-plot loads only when a PDF is
// asked for: cairo and the libraries it brings (pixman, the X client
// libraries, libpng) then cost a plain picture's run nothing.
#include <string>

#include "cairo_printer.h"

extern "C" __attribute__((visibility("default"))) bool isovar_print_pdf(const std::string* dl_path,
                                                                        const std::string* creator,
                                                                        std::string* pdf, std::string* reason) {
  return replay::PrintDisplayListToCairoPdf(*dl_path, *creator, pdf, reason);
}
