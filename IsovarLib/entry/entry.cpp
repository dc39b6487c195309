// The exported entry points and the plot run.
//
// A plot run, in this order: the run log "isovar.log" replaced by its header
// line; the run context stored; the engine; only when the engine succeeded,
// a new display list written and put in place of the old one. A failing
// engine, or a display list that cannot be written, therefore leaves an
// earlier display list as it was.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "write_behind.h"
#include "entry/defaults.h"
#include "engine/tiles.h"
#include "entry/runs.h"
#include "isovar_messages.h"

namespace {

constexpr const char* kRunLogName = "isovar.log";
constexpr std::size_t kTempPathSize = 256;  // the working buffer of makeTempFilePath
constexpr char kTempLeaf[] = "\\IsovarData";

// The run needs nothing from its log: one that cannot be written is skipped,
// and the old one then stays as it was. The new log stays open: the reads
// that follow the run append their lines to it.
void start_run_log(RunContext& run, int32_t width, int32_t height) {
  if (run.log_file != nullptr) std::fclose(run.log_file);
  run.log_file = nullptr;
  char header[64];
  int n = std::snprintf(header, sizeof header, "(isovarMain)  width=%d   height=%d\n", width, height);
  files::AtomicFile log;
  int fd = -1;
  const char* path = run.run_log_path[0] != '\0' ? run.run_log_path : kRunLogName;
  if (log.open(path, files::Target::kFixedName) != 0) return;
  log.write(header, static_cast<std::size_t>(n));
  if (log.commit_open(&fd) != 0) return;
  run.log_file = fdopen(fd, "a");
  if (run.log_file == nullptr) close(fd);
}

}  // namespace

int32_t run_trace(Run& r, const ModelStore& model, bool bands, char* errMsg) {
  r.model = &model;
  const bool large = model.large != 0 || r.ctx.large != 0;
  const int traced = trace_isolines(r.engine, model, r.ctx.message_buffer, large,
                                    bands || r.ctx.bands_wanted != 0 || r.ctx.fill_bands != 0);
  r.ctx.table_limit_reached = r.engine.limit_reached;
  return traced == 0 ? 0 : fail_entry(errMsg, r.ctx.message_buffer, 0);
}

bool run_streams(const Run& r, const ModelStore& model) {
  return model.model_kind == kGridModel && traced_in_tiles(r.engine, model, model.large != 0 || r.ctx.large != 0);
}

int32_t run_plot(Run& r, const ModelStore& model, char* errMsg, HDC hdc, bool record, const char* printInfoPath,
                 int32_t width, int32_t height) {
  RunContext& run = r.ctx;
  run.run_hdc = hdc;
  run.plot_width = width;
  run.plot_height = height;

  if (run_trace(r, model, false, errMsg) != 0) return -1;

  if (!record) {
    render_plot(r);
    return 0;
  }
  files::AtomicFile display_list;
  if (int err = display_list.open(printInfoPath, files::Target::kFixedName))
    return fail_entry(errMsg, msg::cannot_open_display_list, err);
  run.display_list_file = &display_list;
  {
    // A large model's display list (tens of megabytes) is written while the
    // picture is drawn.
    files::WriteBehind behind(display_list);
    run.display_list_behind = run.large ? &behind : nullptr;
    render_plot(r);
    behind.finish();
    run.display_list_behind = nullptr;
    dl_discard(r);  // off the thread's buffers, which go now
  }
  run.display_list_file = nullptr;
  if (int err = display_list.commit()) {
    // The picture is drawn, but printing it would print another.
    char text[kErrMsgSize];
    put_message(text, sizeof text, msg::display_list_write_failed, printInfoPath);
    return fail_entry(errMsg, text, err);
  }
  return 0;
}

int32_t readData(const char* path, char* errMsg) { return ReadIsovarFile(path, errMsg); }

int32_t setThreads(int32_t threads) {
  if (threads < 0) return -1;
  engine_tables.threads = threads;
  return 0;
}

int32_t isovarMain(char* errMsg, HDC hdc, const char* printInfoPath, int32_t width, int32_t height) {
  run_context.table_limit_reached = 0;
  start_run_log(run_context, width, height);
  return run_plot(default_run, model_store, errMsg, hdc, true, printInfoPath, width, height);
}

int32_t saveBMP(char* errMsg, HDC hdc, const char* printInfoPath, const char* bmpPath, int32_t width,
                int32_t height) {
  if (isovarMain(errMsg, hdc, printInfoPath, width, height) != 0) return -1;
  if (capture_pixels(default_run, hdc) != 0) return fail_entry(errMsg, run_context.message_buffer, 0);
  if (int err = saveBMPFile(default_run, bmpPath)) return fail_entry(errMsg, run_context.message_buffer, err);
  return 0;
}

int32_t currentDir(char* buf) {
  GetCurrentDirectoryA(ISOVAR_CURRENT_DIR_SIZE, buf);
  return 0;
}

int32_t makeTempFilePath(char* errMsg, char* outPath) {
  const char* temp = std::getenv("TEMP");
  if (temp == nullptr) return fail_entry(errMsg, msg::no_temp, 0);
  char path[kTempPathSize];
  std::size_t len = std::strlen(temp);
  if (len + sizeof kTempLeaf > sizeof path) return fail_entry(errMsg, msg::temp_too_long, 0);
  std::memcpy(path, temp, len);
  std::memcpy(path + len, kTempLeaf, sizeof kTempLeaf);
  if (outPath != nullptr) std::memcpy(outPath, path, len + sizeof kTempLeaf);
  return 0;
}
