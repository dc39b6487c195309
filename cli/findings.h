// What the files of a plot run tell about it: whether the picture holds an
// isoline, how many features a GeoJSON output has. Each reads only as far as
// it needs.
#pragma once

#include <string>

namespace isovar_plot {

enum class Found { kYes, kNo, kUnknown };

// Whether the display list at path holds an isoline label (which only an
// isoline has). kUnknown when it is not a regular file that can be read, or
// a record is not understood.
Found display_list_has_label(const std::string& path);

// The features of a GeoJSON FeatureCollection the library wrote at path,
// counted up to at_most; -1 when it is not a regular file that can be read.
int count_features(const std::string& path, int at_most);

// The bands of a bands GeoJSON file: how many (up to 2; -1 when unknown) and,
// for one band, where the values lie against the levels, as
// " (all lie below the lowest level, 7)".
struct BandsFound {
  int bands = -1;
  std::string where;
};
BandsFound find_bands(const std::string& path);

}  // namespace isovar_plot
