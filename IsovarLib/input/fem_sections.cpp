// The finite-element sections: "*node", "*element", "*node_data", "*frame".
// Their end record is any record that begins with "*end"; a blank before it
// makes it a data record.
#include <cstdio>
#include <cstring>

#include "shared/run_context.h"
#include "input/model_store.h"
#include "input/reader.h"
#include "isovar_messages.h"

namespace {

constexpr int kRealLen = 19;   // 18 characters and the NUL
constexpr int kShortLen = 9;   // element and frame fields: 8 characters and the NUL
constexpr int kShownMaxNode = kMaxNodeNumber + 1;

bool is_end(const char* record) { return std::strncmp(record, "*end", 4) == 0; }

// The next record of a section: 1 for a data record, 0 at the end record, -1
// at the end of the file, with the section's own message written.
int next_record(InputFile& in, char* record, const char* eof_message, char* errMsg) {
  if (read_record(in, record) != 0) {
    put_message(errMsg, kErrMsgSize, eof_message, reader_state.line_number);
    return -1;
  }
  return is_end(record) ? 0 : 1;
}
bool out_of_range(int32_t number) { return number < 0 || number > kMaxNodeNumber; }

}  // namespace

int node_input(InputFile& in, char* errMsg) {
  ModelStore& m = model_store;
  std::memset(m.node_state, 0, sizeof m.node_state);
  char record[kRecordSize];
  char tokens[3][kRealLen];
  for (;;) {
    if (int r = next_record(in, record, msg::in_node_eof, errMsg); r <= 0) return r;
    const int line = reader_state.line_number;
    if (split_tokens(record, tokens[0], 3, kRealLen) != 3) {
      put_message(errMsg, kErrMsgSize, msg::in_node_record_bad, line);
      return -1;
    }
    const int32_t n = parse_index(tokens[0]);
    if (out_of_range(n)) {
      if (run_context.log_file != nullptr) {
        std::fprintf(run_context.log_file, msg::in_node_max_log, kShownMaxNode);
        std::fprintf(run_context.log_file, msg::in_node_number_bad, line, kShownMaxNode);
        std::fflush(run_context.log_file);
      }
      put_message(errMsg, kErrMsgSize, msg::in_node_number_bad, line, kShownMaxNode);
      return -1;
    }
    if (m.node_state[n] != 0) {
      put_message(errMsg, kErrMsgSize, msg::in_node_twice, line, n);
      return -1;
    }
    m.node_state[n] = 1;
    double x, y;
    if (!read_real(tokens[1], &x)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_x_bad, line);
      return -1;
    }
    m.node_x[n] = static_cast<float>(x);
    if (!read_real(tokens[2], &y)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_y_bad, line);
      return -1;
    }
    m.node_y[n] = static_cast<float>(y);
  }
}

int element_input(InputFile& in, char* errMsg) {
  ModelStore& m = model_store;
  std::memset(m.element_defined, 0, sizeof m.element_defined);
  char record[kRecordSize];
  char tokens[5][kShortLen];
  for (;;) {
    if (int r = next_record(in, record, msg::in_element_eof, errMsg); r <= 0) return r;
    const int line = reader_state.line_number;
    const int count = split_tokens(record, tokens[0], 5, kShortLen);
    if (count != 4 && count != 5) {
      put_message(errMsg, kErrMsgSize, msg::in_element_record_bad, line);
      return -1;
    }
    const int32_t e = parse_index(tokens[0]);
    if (out_of_range(e)) {
      put_message(errMsg, kErrMsgSize, msg::in_element_number_bad, line, kShownMaxNode);
      return -1;
    }
    if (m.element_defined[e] != 0) {
      put_message(errMsg, kErrMsgSize, msg::in_element_twice, line, e);
      return -1;
    }
    // Node numbers are kept as written; the engine checks them.
    m.element_defined[e] = 1;
    m.element_nodes[e][3] = -1;
    for (int t = 1; t < count; ++t) m.element_nodes[e][t - 1] = parse_index(tokens[t]);
  }
}

int node_data_input(InputFile& in, char* errMsg) {
  ModelStore& m = model_store;
  char record[kRecordSize];
  char tokens[2][kRealLen];
  for (;;) {
    if (int r = next_record(in, record, msg::in_node_data_eof, errMsg); r <= 0) return r;
    const int line = reader_state.line_number;
    if (split_tokens(record, tokens[0], 2, kRealLen) != 2) {
      put_message(errMsg, kErrMsgSize, msg::in_node_record_bad, line);
      return -1;
    }
    const int32_t n = parse_index(tokens[0]);
    if (out_of_range(n)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_data_number_bad, line, kShownMaxNode);
      return -1;
    }
    if (m.node_state[n] == 0) {
      put_message(errMsg, kErrMsgSize, msg::in_node_data_undefined, line, n);
      return -1;
    }
    if (m.node_state[n] != 1) {
      put_message(errMsg, kErrMsgSize, msg::in_node_data_twice, line, n);
      return -1;
    }
    m.node_state[n] = 2;
    double value;
    if (!read_real(tokens[1], &value)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_x_bad, line);
      return -1;
    }
    m.node_value[n] = static_cast<float>(value);
  }
}

int frame_data_input(InputFile& in, char* errMsg) {
  ModelStore& m = model_store;
  m.frame_count = 0;
  char record[kRecordSize];
  char tokens[4][kShortLen];
  for (;;) {
    if (int r = next_record(in, record, msg::in_element_eof, errMsg); r <= 0) return r;
    const int line = reader_state.line_number;
    if (split_tokens(record, tokens[0], 4, kShortLen) != 4) {
      put_message(errMsg, kErrMsgSize, msg::in_frame_record_bad, line);
      return -1;
    }
    // The table holds 10 lines: an 11th is refused rather than written past it.
    if (m.frame_count >= kFrameSlots) {
      put_message(errMsg, kErrMsgSize, msg::in_frame_too_many, line, kFrameSlots);
      return -1;
    }
    double v[4];
    for (int t = 0; t < 4; ++t) {
      if (!read_real(tokens[t], &v[t])) {
        put_message(errMsg, kErrMsgSize, msg::in_frame_data_bad, line);
        return -1;
      }
    }
    const int f = m.frame_count;
    m.frame_from[f] = {static_cast<float>(v[0]), static_cast<float>(v[1])};
    m.frame_to[f] = {static_cast<float>(v[2]), static_cast<float>(v[3])};
    ++m.frame_count;
  }
}
