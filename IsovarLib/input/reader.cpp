// The reader driver: resets, dispatches each keyword record to its section,
// checks at the end that the required sections came, and sets the extent.
// Also the title section, which reads raw lines instead of records.
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "shared/run_context.h"
#include "input/model_store.h"
#include "input/reader.h"
#include "isovar_messages.h"

namespace {

constexpr int kKeywordTokens = 2;
constexpr int kKeywordLen = 15;  // 14 characters and the NUL

bool is(const char* token, const char* word) { return std::strcmp(token, word) == 0; }

// A section keyword allowed in one model kind only: its message otherwise.
bool allowed(const ModelStore& m, int32_t kind, const char* refusal, char* errMsg) {
  if (m.model_kind == kind) return true;
  copy_message(errMsg, kErrMsgSize, refusal);
  return false;
}

// One keyword record of the main loop: 0 to go on, -1 on an error.
int dispatch(ReaderState& r, const char* record, char* errMsg) {
  ModelStore& m = *r.model;
  InputFile& in = r.input;
  char tokens[kKeywordTokens][kKeywordLen];
  const int count = split_tokens(record, tokens[0], kKeywordTokens, kKeywordLen);
  const char* key = tokens[0];

  if (is(key, "*model")) {
    if (r.record_count != 1) {
      put_message(errMsg, kErrMsgSize, msg::in_model_not_first, in.line_number);
      return -1;
    }
    if (count != 2) {
      put_message(errMsg, kErrMsgSize, msg::in_model_record_bad, in.line_number);
      return -1;
    }
    if (is(tokens[1], "differencial")) {
      m.model_kind = kGridModel;
    } else if (is(tokens[1], "fem")) {
      m.model_kind = kFemModel;
    } else {
      put_message(errMsg, kErrMsgSize, msg::in_model_param_bad, in.line_number, tokens[1]);
      return -1;
    }
    return 0;
  }
  if (is(key, "*title")) return title_input(r, errMsg);
  if (is(key, "*display")) {
    if (count != 2 || !is(tokens[1], "full")) {
      put_message(errMsg, kErrMsgSize, msg::in_display_bad, in.line_number);
      return -1;
    }
    m.display_mode = 2;
    return 0;
  }
  if (is(key, "*x")) {
    if (!allowed(m, kGridModel, msg::in_x_in_fem, errMsg) || x_input(r, errMsg) != 0) return -1;
    r.x_given = 1;
    return 0;
  }
  if (is(key, "*y")) {
    if (!allowed(m, kGridModel, msg::in_y_in_fem, errMsg) || y_input(r, errMsg) != 0) return -1;
    r.y_given = 1;
    return 0;
  }
  if (is(key, "*value")) {
    if (!allowed(m, kGridModel, msg::in_value_in_fem, errMsg) || value_input(r, errMsg) != 0) return -1;
    r.value_given = 1;
    return 0;
  }
  if (is(key, "*isovar")) {
    if (con_input(r, errMsg) != 0) return -1;
    r.levels_given = 1;
    return 0;
  }
  if (is(key, "*node")) {
    if (!allowed(m, kFemModel, msg::in_node_in_grid, errMsg) || node_input(r, errMsg) != 0) return -1;
    r.nodes_given = 1;
    return 0;
  }
  if (is(key, "*element")) {
    if (!allowed(m, kFemModel, msg::in_element_in_grid, errMsg) || element_input(r, errMsg) != 0) return -1;
    r.elements_given = 1;
    return 0;
  }
  if (is(key, "*node_data")) {
    if (!allowed(m, kFemModel, msg::in_node_data_in_grid, errMsg) || node_data_input(r, errMsg) != 0) return -1;
    r.node_data_given = 1;
    return 0;
  }
  if (is(key, "*frame")) {
    if (!allowed(m, kFemModel, msg::in_frame_in_grid, errMsg)) return -1;
    return frame_data_input(r, errMsg);
  }
  put_message(errMsg, kErrMsgSize, msg::in_unknown_keyword, key);
  return -1;
}

// The required sections, in the order their absence is reported.
int check_required(const ReaderState& r, char* errMsg) {
  const char* missing = nullptr;
  if (r.model->model_kind == kGridModel) {
    if (!r.x_given) {
      missing = msg::in_no_x;
    } else if (!r.y_given) {
      missing = msg::in_no_y;
    } else if (!r.value_given) {
      missing = msg::in_no_value;
    }
  } else {
    if (!r.nodes_given) {
      missing = msg::in_no_nodes;
    } else if (!r.elements_given) {
      missing = msg::in_no_elements;
    } else if (!r.node_data_given) {
      missing = msg::in_no_node_data;
    }
  }
  if (missing == nullptr && !r.levels_given) missing = msg::in_no_levels;
  if (missing == nullptr) return 0;
  copy_message(errMsg, kErrMsgSize, missing);
  return -1;
}

int read_sections(ReaderState& r, char* errMsg) {
  char record[kRecordSize];
  while (read_record(r.input, record) == 0) {
    if (r.record_count < INT32_MAX) ++r.record_count;
    if (dispatch(r, record, errMsg) != 0) return -1;
  }
  return check_required(r, errMsg);
}

}  // namespace

void note_table_limit(ReaderState& r) {
  if (!r.model->large) r.limit_reached = 1;
}

int32_t ReadIsovarFile(Model& model, const char* path, char* errMsg, bool large, std::FILE* log_file,
                       int32_t* limit_reached) {
  char scratch[kErrMsgSize];
  if (errMsg == nullptr) errMsg = scratch;  // a caller without a buffer still gets -1
  *limit_reached = 0;
  // The state of one read, with its 64 KiB input buffer: on the heap, so
  // that reads on several threads each have their own.
  std::unique_ptr<ReaderState> state(new (std::nothrow) ReaderState{});
  if (state == nullptr) {
    put_message(errMsg, kErrMsgSize, msg::out_of_memory, "ReadIsovarFile");
    return -1;
  }
  ReaderState& r = *state;
  r.log_file = log_file;
  r.input.fd = -1;

  if (open_input(r.input, path) != 0) {
    put_message(errMsg, kErrMsgSize, msg::in_open_failed, path != nullptr ? path : "");
    return -1;
  }
  // The file goes into a store of its own; the current model stays as it is
  // unless the whole file is read.
  r.model = &begin_model_read(model, large);
  const int result = read_sections(r, errMsg);
  close_input(r.input);
  if (result == 0) compute_extent(*r.model);
  end_model_read(model, result == 0);
  *limit_reached = r.limit_reached;
  return result == 0 ? 0 : -1;
}

int title_input(ReaderState& r, char* errMsg) {
  InputFile& in = r.input;
  ModelStore& m = *r.model;
  m.title_count = 0;
  char line[kTitleLineSize];
  for (;;) {
    if (read_line_piece(in, line, kTitleLineSize) < 0) {
      copy_message(errMsg, kErrMsgSize, msg::in_title_eof);
      return -1;
    }
    if (in.line_number < INT32_MAX) ++in.line_number;
    if (std::strncmp(line, "*end", 4) == 0 || std::strncmp(line, "*END", 4) == 0) return 0;
    if (m.title_count >= kMaxTitles) {
      put_message(errMsg, kErrMsgSize, msg::in_title_too_many, in.line_number, kMaxTitles);
      return -1;
    }
    char* lf = std::strchr(line, '\n');
    if (lf != nullptr) *lf = '\0';
    const size_t len = std::strlen(line);
    if (len > static_cast<size_t>(kMaxTitleBytes)) {
      put_message(errMsg, kErrMsgSize, msg::in_title_too_long, in.line_number, kMaxTitleBytes);
      return -1;
    }
    std::memcpy(m.titles[m.title_count], line, len + 1);
    ++m.title_count;
  }
}

void compute_extent(ModelStore& m) {
  constexpr float kEmptyMin = 1e20f;
  constexpr float kEmptyMax = -1e20f;
  if (m.model_kind == kGridModel) {
    // An empty "*x" or "*y" section leaves nothing to measure: the slots
    // would hold another file's coordinates.
    m.extent_xmin = m.grid_nx > 0 ? m.grid_x[1] : kEmptyMin;
    m.extent_xmax = m.grid_nx > 0 ? m.grid_x[m.grid_nx] : kEmptyMax;
    m.extent_ymin = m.grid_ny > 0 ? m.grid_y[1] : kEmptyMin;
    m.extent_ymax = m.grid_ny > 0 ? m.grid_y[m.grid_ny] : kEmptyMax;
    return;
  }
  float xmin = kEmptyMin, xmax = kEmptyMax, ymin = kEmptyMin, ymax = kEmptyMax;
  for (int n = 0; n < m.node_slots; ++n) {
    if (m.node_state[n] == 0) continue;
    if (m.node_x[n] < xmin) xmin = m.node_x[n];
    if (m.node_x[n] > xmax) xmax = m.node_x[n];
    if (m.node_y[n] < ymin) ymin = m.node_y[n];
    if (m.node_y[n] > ymax) ymax = m.node_y[n];
  }
  m.extent_xmin = xmin;
  m.extent_xmax = xmax;
  m.extent_ymin = ymin;
  m.extent_ymax = ymax;
}
