// Where a run's outputs go, settled before anything is written: every output
// of every input named, and checked against the inputs and each other.
#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace isovar_plot {

// A single run's outputs: empty when no two of them name one file and none
// names the input, else the usage error naming both. Files are the same when
// they have one device and inode, or, where one does not exist yet, one
// normalised path; devices and pipes (written in place) are never in the way.
std::string check_single_run(const Options& o);

// The runs of a batch: for each input, in order, its Options with each
// format's file set to DIR/NAME.EXT (with --keep-tree, DIR/FOLDER/NAME.EXT).
// Inputs with the same NAME (in one FOLDER) get NAME-2, NAME-3, ... in the
// order given, never another input's own NAME. Empty when every output has a
// file of its own and none is an input, else the usage error naming both.
std::string plan_batch(const Options& o, std::vector<Options>* runs);

// What goes where: "INPUT -> FILE, FILE" for each run.
std::vector<std::string> plan_lines(const std::vector<Options>& runs);

}  // namespace isovar_plot
