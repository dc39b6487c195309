// The run inside a caller's run object, for the library's own tests (their
// knobs: tile width, forced tiling).
#pragma once

#include "IsovarLib.h"
#include "render/run.h"

Run& run_of(IsovarRun* run);
