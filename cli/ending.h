// What a signal that ends isovar-plot (SIGINT, SIGTERM, SIGHUP) takes with
// it before the process ends as the signal would have (its status says the
// signal): the temporary files of the outputs being written, beside their
// targets, and the private folder with its files; in a batch parent, the
// workers, which end and clean up likewise, and which end too when the parent
// is gone, even by SIGKILL.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

namespace isovar_plot {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Blocks (or unblocks) them, the mask before in *old when given.
void block_ending_signals(bool block, sigset_t* old = nullptr);

// From now on, an ending signal removes what is watched (below), then ends
// the process.
void clean_up_on_ending_signals();

// The private folder, open as fd (absolute path): removed with its files.
// fd -1 forgets it.
void watch_private_folder(int fd, const std::string& path);

// The outputs being written (their temporary files' prefixes, as
// files::temporary_prefix gives them): the temporary files this process has
// open there are removed. Replaces the earlier list.
void watch_outputs(const std::vector<std::string>& prefixes);

// The temporary folder a vector output is being written in (geodata.h):
// removed with its files. "" forgets it.
void watch_vector_folder(const std::string& path);

// In a batch parent: an ending signal goes on to the workers, which are
// waited for, then ends the process. At most kMaxWorkers are watched.
constexpr int kMaxWorkers = 1024;
void stop_workers_on_ending_signals();
void watch_worker(pid_t pid);
// A worker that ended (waited for): no signal goes to its number any more.
void worker_ended(pid_t pid);

// In a worker: ends it with SIGTERM when parent, its parent, is gone, even
// when that happened before this call.
void end_with_parent(pid_t parent);

}  // namespace isovar_plot
