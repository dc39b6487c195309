// The exported entry points and the plot run.
//
// A plot run, in this order: the run log "isovar.log" reopened with its
// header line; the run context stored; the engine; only when the engine
// succeeded, the display-list file created in byte mode; the render; the file
// closed. A failing engine therefore leaves an earlier display list as it was.
#include <cstdlib>
#include <cstring>

#include "IsovarLib.h"
#include "engine/engine.h"
#include "isovar_messages.h"
#include "render/render.h"
#include "shared/run_context.h"

namespace {

constexpr const char* kRunLogName = "isovar.log";
constexpr std::size_t kTempPathSize = 256;  // the working buffer of makeTempFilePath
constexpr char kTempLeaf[] = "\\IsovarData";

void report(char* errMsg, const char* text) {
  if (errMsg != nullptr) copy_message(errMsg, kErrMsgSize, text);
}

}  // namespace

int32_t readData(const char* path, char* errMsg) {
  // The reader driver (input/reader.h), exported as is.
  int32_t ReadIsovarFile(const char* path, char* errMsg);
  run_context.table_limit_reached = 0;
  return ReadIsovarFile(path, errMsg);
}

int32_t isovarMain(char* errMsg, HDC hdc, const char* printInfoPath, int32_t width, int32_t height) {
  RunContext& run = run_context;
  run.table_limit_reached = 0;
  if (run.log_file != nullptr) std::fclose(run.log_file);
  // The run needs nothing from its log: one that cannot be opened is skipped.
  run.log_file = open_rewrite(kRunLogName);

  run.run_hdc = hdc;
  run.plot_width = width;
  run.plot_height = height;
  if (run.log_file != nullptr) {
    std::fprintf(run.log_file, "(isovarMain)  width=%d   height=%d\n", width, height);
    end_rewrite(run.log_file);  // later lines of this run's reads follow it
  }

  if (trace_isolines() != 0) {
    report(errMsg, run.message_buffer);
    return -1;
  }

  run.display_list_file = open_rewrite(printInfoPath);
  if (run.display_list_file == nullptr) {
    report(errMsg, msg::cannot_open_display_list);
    return -1;
  }
  render_plot();
  end_rewrite(run.display_list_file);
  std::fclose(run.display_list_file);
  run.display_list_file = nullptr;
  return 0;
}

int32_t saveBMP(char* errMsg, HDC hdc, const char* printInfoPath, const char* bmpPath, int32_t width,
                int32_t height) {
  if (isovarMain(errMsg, hdc, printInfoPath, width, height) != 0) return -1;
  if (capture_pixels(hdc) != 0 || saveBMPFile(bmpPath) != 0) {
    report(errMsg, run_context.message_buffer);
    return -1;
  }
  return 0;
}

int32_t currentDir(char* buf) {
  GetCurrentDirectoryA(ISOVAR_CURRENT_DIR_SIZE, buf);
  return 0;
}

int32_t makeTempFilePath(char* errMsg, char* outPath) {
  const char* temp = std::getenv("TEMP");
  if (temp == nullptr) {
    report(errMsg, msg::no_temp);
    return -1;
  }
  char path[kTempPathSize];
  std::size_t len = std::strlen(temp);
  if (len + sizeof kTempLeaf > sizeof path) {
    report(errMsg, msg::temp_too_long);
    return -1;
  }
  std::memcpy(path, temp, len);
  std::memcpy(path + len, kTempLeaf, sizeof kTempLeaf);
  if (outPath != nullptr) std::memcpy(outPath, path, len + sizeof kTempLeaf);
  return 0;
}
