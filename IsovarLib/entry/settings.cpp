// The table mode, as callers set and ask about it.
#include "IsovarLib.h"
#include "shared/run_context.h"
#include "shared/tables.h"

int32_t setLargeModels(int32_t on) {
  table_mode.large = on != 0 ? 1 : 0;
  return 0;
}

int32_t tableLimitReached(void) { return run_context.table_limit_reached; }
