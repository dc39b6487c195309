// The model store: the one copy of the current model. Written only by the
// input reader (input/), read by the engine and the renderer. Every table is
// fixed in size, starts out zero and is never allocated.
#pragma once

#include <cstdint>

constexpr int kMaxTitles = 5;
constexpr int kTitleSlot = 61;       // 58 bytes of text, its NUL, and room
constexpr int kMaxTitleBytes = 58;
constexpr int kLevelSlots = 50;      // a model holds at most 49 levels
constexpr int kMaxLevels = 49;
constexpr int kMaxGridNx = 499;
constexpr int kMaxGridNy = 500;
constexpr int kNodeSlots = 100000;   // node and element numbers 0 to 99999
constexpr int kFrameSlots = 10;

constexpr int32_t kGridModel = 0;
constexpr int32_t kFemModel = 1;

struct FramePoint {
  float x;
  float y;
};

struct ModelStore {
  // Shared part
  int32_t model_kind;    // kGridModel or kFemModel
  int32_t display_mode;  // 1 normal, 2 full
  int32_t title_count;
  char titles[kMaxTitles][kTitleSlot];
  int32_t level_count;
  float levels[kLevelSlots];
  int32_t level_kind[kLevelSlots];   // 0 default, 1 bold
  int32_t level_label[kLevelSlots];  // 1 labelled, 0 "no"
  float extent_xmin, extent_xmax, extent_ymin, extent_ymax;

  // Grid part: indices are 1-based, slot 0 is unused.
  int32_t grid_nx;
  int32_t grid_ny;
  float grid_x[kMaxGridNy + 1];
  float grid_y[kMaxGridNy + 1];
  float grid_value[kMaxGridNx + 1][kMaxGridNy + 1];      // [i][j]
  int16_t grid_defined[kMaxGridNx + 1][kMaxGridNy + 1];  // [i][j]

  // Finite-element part, indexed by node or element number.
  int16_t node_state[kNodeSlots];  // 0 undefined, 1 coordinates, 2 coordinates and value
  float node_x[kNodeSlots];
  float node_y[kNodeSlots];
  float node_value[kNodeSlots];
  int16_t element_defined[kNodeSlots];
  int32_t element_nodes[kNodeSlots][4];  // a 3-node element has -1 last
  int32_t frame_count;
  FramePoint frame_from[kFrameSlots];
  FramePoint frame_to[kFrameSlots];
};

extern ModelStore model_store;
