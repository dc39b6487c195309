// Many inputs: isovar-plot A.iso B.iso ... --outdir DIR.
#pragma once

#include "options.h"

namespace isovar_plot {

// The worker processes for a number of inputs: o.jobs, or one per core the
// process may run on, and never more than the inputs.
int worker_count(const Options& o);

// Plots every input of o into o.outdir (made when missing), each input's
// outputs as NAME.EXT, in worker_count(o) processes that each take the next
// input until none is left. A failing input is reported with its name and
// the others go on; a progress line is shown on standard error when it is a
// terminal. 0 when every input succeeded, else kExitFailure.
int plot_batch(const Options& o);

}  // namespace isovar_plot
