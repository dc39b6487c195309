// isovar-plot: reads input files with the library, makes one plot run of each
// into an off-screen picture and saves what the options ask for (BMP, PNG,
// the isolines as GeoJSON, the printed page as PDF). Many inputs are plotted
// by worker processes, one per core (batch.h).
#include "batch.h"
#include "options.h"
#include "plotter.h"

int main(int argc, char** argv) {
  isovar_plot::Options options;
  const int status = isovar_plot::parse_command_line(argc, argv, options);
  if (status >= 0) return status;
  if (!options.outdir.empty()) return isovar_plot::plot_batch(options);
  isovar_plot::Plotter plotter;
  const std::string failure = plotter.start();
  if (!failure.empty()) {
    isovar_plot::say("isovar-plot: " + failure);
    return isovar_plot::kExitFailure;
  }
  return plotter.plot(options);
}
