// Many inputs: isovar-plot A.iso B.iso ... --outdir DIR.
#pragma once

#include <vector>

#include "options.h"

namespace isovar_plot {

// The worker processes for a number of inputs: o.jobs, or one per core the
// process may run on, and never more than the inputs.
int worker_count(const Options& o);

// Plots runs (plan_batch's, one per input of o) into o.outdir, made when
// missing with the folders the runs' outputs go to, in worker_count(o)
// processes that each take the next input until none is left. A failing
// input is reported with its name and the others go on. When standard error
// is a terminal, the list of what goes where comes first, and a progress line
// is shown. 0 when every input succeeded, else kExitFailure.
int plot_batch(const Options& o, const std::vector<Options>& runs);

}  // namespace isovar_plot
