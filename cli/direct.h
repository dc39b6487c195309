// Inputs plotted directly: a raster, a table of scattered points or a mesh,
// read at full precision and built into a model in memory (large tables), as
// isovar-convert would make a model file of it, without the file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "IsovarLib.h"
#include "source.h"

namespace isovar_plot {

enum class InputKind { kModel, kRaster, kTable, kMesh };

// What an input is. --kind decides when given; standard input and names
// ending with .isovar or .iso are models. Otherwise the name's ending tells
// the kind as isovar-convert tells it (.msh a mesh; .csv, .tsv, .txt, .xyz,
// .dat a table; anything else a raster) when the file's first bytes agree;
// a file that does not look like its name (a model named .dat, a file that
// cannot be read) keeps the model's way, whose messages say what it is.
InputKind input_kind(const std::string& input, const convert::SourceRequest& request);

struct ModelFree {
  void operator()(IsovarModel* model) const { isovarModelFree(model); }
};
using ModelPtr = std::unique_ptr<IsovarModel, ModelFree>;

struct DirectModel {
  ModelPtr model;
  std::string crs_wkt;             // empty: the source has none
  std::vector<std::string> notes;  // what the reader noticed
};

// Reads path as kind and builds its model (levels, titles and flags as
// request asks). Empty when done, else why not, without the input's name.
// progress: whether a progress line may be shown on standard error.
std::string load_direct(const std::string& path, InputKind kind, const convert::SourceRequest& request,
                        bool progress, DirectModel* out);

}  // namespace isovar_plot
