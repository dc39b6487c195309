// Plotting one input into its outputs, as isovar-plot does for each input:
// read the model, make one plot run, then write each requested output through
// the table of formats (options.h, outputs.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "IsovarLib.h"
#include "direct.h"
#include "geodata.h"
#include "options.h"
#include "platform.h"
#include "private_folder.h"

namespace isovar_plot {

// Writes one message line to standard error in a single write, so lines of
// parallel workers never mix; clears a progress line first when one is shown.
void say(const std::string& line);
// Whether say() first clears a progress line.
void set_progress_shown(bool shown);

// A path given to the library and the user's spelling of it, which its
// messages show.
using Spelling = std::pair<std::string, std::string>;
// The library's message (code page 932) in UTF-8, each path spelt as the user
// gave it: the text around a path is converted, the path's bytes are the
// user's. Control characters are shown as '?'.
std::string library_text(const char* err_msg, const std::vector<Spelling>& spellings);
// "isovar-plot: TEXT" on standard error: kExitFailure.
int own_failure(const std::string& text);
// A library failure, after the name it concerns, then the lines that say
// why, each after the name too. When the library could not write a file
// (error is the system's reason), it is the tool's failure: the message, then
// "cannot write NAME: REASON". When the model passed a default table's size,
// a last line says how to lift it. kExitFailure.
int library_failure(const std::string& name, const std::string& text, int error = 0,
                    const std::vector<std::string>& why = {});

// Where the temporary files of o's outputs go (files::temporary_prefix).
std::vector<std::string> temporary_prefixes(const Options& o);
// Removes what runs that ended without cleaning up left: the private folders
// whose process is gone, and the temporary files beside the runs' outputs
// whose writer is gone.
void remove_what_ended_runs_left(const std::vector<Options>& runs);

class Plotter;

// One input's plot run as the writers see it: the picture, the display list
// and the BMP the run made, and the plotter's means of writing more.
class Run {
 public:
  Run(Plotter& plotter, const Options& options) : options(options), plotter_(plotter) {}

  const Options& options;
  HDC surface = nullptr;
  std::string display_list;  // the file the run wrote
  // The BMP, which the library saves in the plot run itself: where it went,
  // and when it failed, the library's message and the system's reason.
  std::string bmp;
  std::string bmp_failure;
  int bmp_error = 0;

  // A file in the plotter's private folder (which outputs to standard output
  // need, so it exists for them).
  std::string private_file(const char* name) const;
  // save (saveIsolines, saveBands) into path. When the model passes a default
  // table and large mode may be used, the model is read again in large mode
  // and save called again. A failure is reported, naming shown: kExitOk or
  // kExitFailure.
  int save_with_library(int32_t (*save)(char*, const char*), const std::string& path, const std::string& shown);

  // The input as objects (a model and a run of IsovarLib.h's second part): a
  // raster, table or mesh plotted directly is built and drawn so (direct);
  // a model file is read so again, in the growing tables, for the outputs
  // the default run has no writer for (OGR's formats, GeoJSON reprojected).
  bool direct = false;
  // The run traced, with its band polygons merged when bands; nullptr when
  // that failed (said).
  const IsovarRun* traced(bool bands);
  // The model and run as objects: false when they cannot be had (said).
  bool ready();
  // After ready(): the model traced afresh and each polyline handed to take
  // as soon as it is whole (a large grid's output is never held whole):
  // empty, or why not. The run then holds no trace.
  bool holds_trace() const { return traced_; }
  std::string stream_lines(const LineTaker& take);
  // After ready(): the model traced afresh into the library's GeoJSON at
  // path, each line written as soon as it is whole (isovarRunStreamIsolines).
  int32_t stream_isolines(const std::string& path, char* err_msg) {
    traced_ = pieces_ = merged_ = false;
    return isovarRunStreamIsolines(run_.get(), model_.get(), path.c_str(), err_msg);
  }
  const IsovarModel* model() const { return model_.get(); }
  // The model's CRS as WKT, empty for none: --crs, else a direct input's
  // own, else the MODEL.prj beside a model file. False when it cannot be
  // read (said).
  bool crs(std::string* wkt);

 private:
  friend class Plotter;
  struct RunFree {
    void operator()(IsovarRun* run) const { isovarRunFree(run); }
  };
  Plotter& plotter_;
  ModelPtr model_;
  std::unique_ptr<IsovarRun, RunFree> run_;
  bool traced_ = false;   // the run holds a trace of the model
  bool pieces_ = false;   // that trace kept its band pieces
  bool merged_ = false;   // and they are merged into band polygons
  bool crs_known_ = false;
  std::string crs_wkt_;
};

// The process's plotting state: the private folder where the display list
// and the run log go unless the options name them, and the folder the process
// started in, which every path the user gives is relative to. The library is
// process-wide, so one Plotter per process.
class Plotter {
 public:
  Plotter();
  ~Plotter();  // removes the private folder
  Plotter(const Plotter&) = delete;
  Plotter& operator=(const Plotter&) = delete;

  // Checks that the starting folder is known: empty when it is, else what
  // failed.
  std::string start();

  // Reads o.inputs[0] and makes its outputs, attempting every one asked for
  // even when another fails; each failure is reported with its file. 0 when
  // all succeeded, else kExitFailure.
  int plot(const Options& o);

 private:
  friend class Run;
  class Surface;

  // Makes the private folder unless it exists: empty when done, else what
  // failed.
  std::string make_folder();
  std::string absolute(const std::string& path) const;
  // A file of the private folder; empty when there is no folder.
  std::string private_file(const char* name) const {
    return folder_.path().empty() ? std::string() : folder_.path() + "/" + name;
  }
  // Standard input into a private file, so that the model can be read again.
  int keep_standard_input();
  int read(const Options& o);
  // The input could not be read (text: the library's message): said, with
  // why and what next. kExitFailure.
  int read_failure(const std::string& text);
  int run(const Options& o, Run& run, std::unique_ptr<Surface>& surface);
  // When the model passed a default table (text: the library's message) and
  // may be plotted in large mode: says so, switches large mode on and reads
  // the model again. kExitOk when the step may be tried again, kExitFailure
  // when reading failed (reported), -1 when large mode is no way out.
  int go_large(const std::string& text);
  void warn_when_empty(const Run& run);
  int save_log(const Options& o);
  // A raster, table or mesh built into a model and plotted by objects.
  int plot_direct(const Options& o, InputKind kind, Run& run, std::unique_ptr<Surface>& surface);

  PrivateFolder folder_;
  int home_fd_ = -1;  // the starting folder
  std::string home_;  // its path with a closing '/'

  // The input being plotted: its name as given, the path the library reads,
  // and whether it may still go to large mode.
  std::string input_;
  std::string read_path_;
  bool may_go_large_ = false;
};

}  // namespace isovar_plot
