// Plotting one input into its outputs, as isovar-plot does for each input.
#pragma once

#include <csignal>
#include <string>

#include "options.h"

namespace isovar_plot {

// Writes one message line to standard error in a single write, so lines of
// parallel workers never mix; clears a progress line first when one is shown.
void say(const std::string& line);
// Whether say() first clears a progress line.
void set_progress_shown(bool shown);

// The signals that end a run; a Plotter removes its folder on them.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Blocks (or unblocks) them, the mask before in *old when given.
void block_ending_signals(bool block, sigset_t* old = nullptr);

// The process's plotting state: the private folder where the run log (for
// --log) and the display list (for --pdf) go unless the options name them,
// made only when a run needs it, and the folder the process started in,
// which every path the user gives is relative to. The library is
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
  // Makes the private folder unless it exists: empty when done, else what
  // failed.
  std::string make_folder();
  std::string absolute(const std::string& path) const;
  std::string private_file(const char* name) const { return folder_ + "/" + name; }
  int save_log(const Options& o);

  std::string folder_;  // the private folder; empty until made
  int folder_fd_ = -1;
  int home_fd_ = -1;  // the starting folder
  std::string home_;  // its path with a closing '/'
};

}  // namespace isovar_plot
