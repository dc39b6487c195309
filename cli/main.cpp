// isovar-plot: reads input files with the library, makes one plot run of each
// into an off-screen picture and saves what the options ask for (BMP, PNG,
// SVG, the isolines and bands as GeoJSON, the printed page as PDF). Many
// inputs are plotted by worker processes, one per core (batch.h).
#include <csignal>
#include <string>
#include <vector>

#include "batch.h"
#include "ending.h"
#include "options.h"
#include "plan.h"
#include "plotter.h"

int main(int argc, char** argv) {
  isovar_plot::Options options;
  const int status = isovar_plot::parse_command_line(argc, argv, options);
  if (status >= 0) return status;
  // A reader of standard output that goes away fails that output, which is
  // said, instead of ending the process before it cleans up.
  signal(SIGPIPE, SIG_IGN);
  // Where every output goes is settled before anything is written.
  if (!options.outdir.empty()) {
    std::vector<isovar_plot::Options> runs;
    const std::string refused = isovar_plot::plan_batch(options, &runs);
    if (!refused.empty()) return isovar_plot::usage_error(refused);
    return isovar_plot::plot_batch(options, runs);
  }
  const std::string refused = isovar_plot::check_single_run(options);
  if (!refused.empty()) return isovar_plot::usage_error(refused);
  isovar_plot::remove_what_ended_runs_left({options});
  isovar_plot::clean_up_on_ending_signals();
  isovar_plot::Plotter plotter;
  const std::string failure = plotter.start();
  if (!failure.empty()) {
    isovar_plot::say("isovar-plot: " + failure);
    return isovar_plot::kExitFailure;
  }
  return plotter.plot(options);
}
