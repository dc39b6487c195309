// What a run does, on any model and run: the plot run (trace, display list,
// drawing), the isolines and the band polygons written as GeoJSON. The
// exported functions call these on the default objects, the objects'
// interface on the caller's. Each returns 0, or -1 through fail_entry.
#pragma once

#include <cstdint>

#include "render/run.h"

// Traces model into r (in large mode when the model or the run is, the band
// table filled when bands is set or the run fills bands).
int32_t run_trace(Run& r, const ModelStore& model, bool bands, char* errMsg);

// A plot run without its log: trace, then draw on hdc (width x height),
// when record is set writing the display list to printInfoPath, put in
// place only when whole (else the records are dropped).
int32_t run_plot(Run& r, const ModelStore& model, char* errMsg, HDC hdc, bool record, const char* printInfoPath,
                 int32_t width, int32_t height);

// Whether r traces model in tiles and can hand its lines on as they are
// finished (a grid past the default tables, in large mode).
bool run_streams(const Run& r, const ModelStore& model);

// The traced polylines of r as a GeoJSON FeatureCollection at path.
int32_t write_isolines(const Run& r, const char* path, char* errMsg);
// model traced by r and its polylines written as write_isolines writes
// them, each as soon as it is whole (run_streams(r, model) must hold); r
// holds no trace afterwards.
int32_t stream_isolines(Run& r, const ModelStore& model, const char* path, char* errMsg);

// The band polygons of r (traced with its band table) as a GeoJSON
// FeatureCollection at path.
int32_t write_bands(const Run& r, const char* path, char* errMsg);
// The same from bands already merged from r's pieces (NULL: merged here).
struct BandMerge;
int32_t write_bands(const Run& r, const BandMerge* merged, const char* path, char* errMsg);

// Sets r's picture style from the caller's (NULL: the plain style): false,
// leaving it as it was, when the style is not one the renderer knows.
struct IsovarPictureStyle;
bool set_picture_style(Run& r, const IsovarPictureStyle* style);
