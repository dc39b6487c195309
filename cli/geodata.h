// The isolines and bands of a run as the files GIS users load, through OGR:
// GeoPackage, Shapefile, FlatGeobuf, GeoJSON, KML, CSV (WKT geometry), GML.
// Each file records the model's CRS; GeoJSON gets WGS 84 longitude/latitude
// (RFC 7946) unless the CRS is to be kept.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "IsovarLib.h"

namespace isovar_plot {

// The OGR driver that writes path: forced (--vector-format) when not empty,
// else the one its ending names (.gpkg, .shp, .fgb, .geojson/.json, .kml,
// .csv, .gml; GeoJSON for any other ending and for standard output). Empty,
// with *error set, when the forced one is no OGR driver that writes vectors.
std::string vector_driver(const std::string& path, const std::string& forced, std::string* error);
bool is_geojson(const std::string& driver);

// The files a driver makes for path: a Shapefile's .shp, .shx, .dbf, .prj
// and .cpg; a GML file's .xsd; a CSV file's .prj (its CRS, which CSV has no
// place for); path alone for the others.
std::vector<std::string> vector_files(const std::string& path, const std::string& driver);

// A CRS in WKT: empty for none. Whether it is none, or geographic WGS 84
// (longitude/latitude in degrees), for which GeoJSON needs no change.
bool crs_is_none_or_wgs84(const std::string& wkt);
// The WKT of text (WKT of any dialect, EPSG:N, a PROJ string, ... as
// OSRSetFromUserInput takes it); empty, with *error set, when GDAL cannot
// read it. Nothing is fetched from the network; a file is read only when
// files is true (the user's --crs may name one, a .prj's text may not).
std::string crs_from_text(const std::string& text, std::string* error, bool files = true);

struct VectorLevel {
  double value;  // the level as stored, its shortest decimal text read back
  bool bold;
  bool labelled;
};

struct VectorRequest {
  std::string driver;
  std::string crs_wkt;  // empty: none
  bool keep_crs = false;  // GeoJSON in the model's CRS instead of WGS 84
  std::string attr = "ELEV";
  std::string attr_min = "ELEV_MIN";
  std::string attr_max = "ELEV_MAX";
};

// Takes one polyline (its level index, 1 when closed, its points as x0, y0,
// x1, y1, ...): empty, or why it cannot be written.
using LineTaker = std::function<std::string(int32_t level, int32_t closed, int32_t count, const double* xy)>;
// Hands every polyline to the taker in order: empty, or the first failure
// (the taker's or its own).
using LineFeed = std::function<std::string(const LineTaker& take)>;

// Writes the run's polylines (bands false) or band polygons (bands true,
// after isovarRunBands) to path: made whole under a temporary folder beside
// path, then each file renamed into place. Empty when done, else why not
// (nothing is left behind then). With feed, the polylines are those it
// hands on, as they come (run is not read).
std::string write_vector(const IsovarRun* run, const std::vector<VectorLevel>& levels, bool bands,
                         const std::string& path, const VectorRequest& request, const LineFeed* feed = nullptr);

// Removes the temporary folders beside path that writers which died (killed
// outright) left: those whose lock nobody holds, of this user.
void remove_stale_vector_folders(const std::string& path);

// The model's levels as the vector files give them.
std::vector<VectorLevel> vector_levels(const IsovarModel* model);

}  // namespace isovar_plot
