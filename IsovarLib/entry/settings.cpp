// The run settings and the table mode, as callers set and ask about them.
#include <cstring>

#include "IsovarLib.h"
#include "entry/defaults.h"

int32_t setLargeModels(int32_t on) {
  run_context.large = on != 0 ? 1 : 0;
  return 0;
}

int32_t tableLimitReached(void) { return run_context.table_limit_reached; }

int32_t setRunLog(const char* path) {
  char* to = run_context.run_log_path;
  if (path == nullptr || *path == '\0') {
    to[0] = '\0';
    return 0;
  }
  const std::size_t n = std::strlen(path);
  if (n >= sizeof run_context.run_log_path) return -1;
  std::memcpy(to, path, n + 1);
  return 0;
}

int32_t setFillBands(int32_t on) {
  run_context.fill_bands = on != 0 ? 1 : 0;
  return 0;
}
