#include "model_store.h"

ModelStore model_store;
