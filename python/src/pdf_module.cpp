// isovar._pdf: the printed page of a display list, as isovar-plot --pdf makes
// it (replay/cairo_printer.h). A module of its own, imported for the first
// PDF only, so that a Python process that makes none never loads cairo.
#include <pybind11/pybind11.h>

#include <string>

#include "cairo_printer.h"

namespace py = pybind11;

PYBIND11_MODULE(_pdf, m) {
  m.doc() = "The PDF page of a display list (use isovar.Model.save).";
  m.def(
      "print_pdf",
      [](const std::string& display_list, const std::string& creator) {
        std::string pdf, reason;
        bool done;
        {
          py::gil_scoped_release release;
          done = replay::PrintDisplayListToCairoPdf(display_list, creator, &pdf, &reason);
        }
        if (!done) throw py::value_error("Printer cancel (" + reason + ")");
        return py::bytes(pdf);
      },
      py::arg("display_list"), py::arg("creator"),
      "The one-page PDF document of the display-list file, as bytes.");
}
