#include "engine.h"

EngineTables engine_tables;
