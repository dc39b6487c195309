// The finite-element sections: "*node", "*element", "*node_data", "*frame".
// Their end record is any record that begins with "*end"; a blank before it
// makes it a data record.
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "shared/run_context.h"
#include "input/model_store.h"
#include "input/reader.h"
#include "isovar_messages.h"

namespace {

constexpr int kRealLen = 19;   // 18 characters and the NUL
constexpr int kShortLen = 9;   // element and frame fields: 8 characters and the NUL

bool is_end(const char* record) { return std::strncmp(record, "*end", 4) == 0; }

// The next record of a section: 1 for a data record, 0 at the end record, -1
// at the end of the file, with the section's own message written.
int next_record(InputFile& in, char* record, const char* eof_message, char* errMsg) {
  if (read_record(in, record) != 0) {
    put_message(errMsg, kErrMsgSize, eof_message, in.line_number);
    return -1;
  }
  return is_end(record) ? 0 : 1;
}
bool out_of_range(const ModelStore& m, int32_t number) {
  return number < 0 || number > table_limits(m.large).max_number;
}
int32_t shown_max(const ModelStore& m) { return table_limits(m.large).max_number + 1; }

bool no_memory(const char* routine, char* errMsg) {
  put_message(errMsg, kErrMsgSize, msg::out_of_memory, routine);
  return false;
}

// Large mode: a slot for a node number not seen in this section.
bool add_node_slot(ModelStore& m, int32_t n, int32_t* slot, char* errMsg) {
  const int32_t s = m.node_slots;
  if (!m.node_state.reserve(s + 1) || !m.node_x.reserve(s + 1) || !m.node_y.reserve(s + 1) ||
      !m.node_value.reserve(s + 1) || !index_add(m.node_index, n, s)) {
    return no_memory("node_input", errMsg);
  }
  m.node_state[s] = 0;
  ++m.node_slots;
  *slot = s;
  return true;
}

bool add_element_slot(ModelStore& m, int32_t e, int32_t* slot, char* errMsg) {
  const int32_t s = m.element_slots;
  if (!m.element_defined.reserve(s + 1) || !m.element_nodes.reserve(s + 1) || !m.element_number.reserve(s + 1) ||
      !index_add(m.element_index, e, s)) {
    return no_memory("element_input", errMsg);
  }
  m.element_number[s] = e;
  ++m.element_slots;
  *slot = s;
  return true;
}

// Large mode: the element slots in ascending element number, the order the
// engine visits them in (the default mode visits the table by number). Files
// mostly list elements in order already; otherwise a radix sort on the 27
// bits an element number takes.
bool order_elements(ModelStore& m, char* errMsg) {
  Table<int32_t> scratch{};
  scratch.grows = true;
  struct Release {
    Table<int32_t>& table;
    ~Release() { table.release(); }
  } release{scratch};
  const int32_t count = m.element_slots;
  m.element_ordered = 0;
  if (!m.element_order.reserve(count) || !scratch.reserve(count)) return no_memory("element_input", errMsg);
  int32_t* order = m.element_order.data;
  bool sorted = true;
  for (int32_t s = 0; s < count; ++s) {
    order[s] = s;
    if (s > 0 && m.element_number[s] < m.element_number[s - 1]) sorted = false;
  }
  if (!sorted) {
    constexpr int kBits = 14;
    int32_t* from = order;
    int32_t* to = scratch.data;
    for (int shift = 0; shift < 28; shift += kBits) {
      std::vector<int32_t> start((1 << kBits) + 1, 0);
      for (int32_t i = 0; i < count; ++i) ++start[((m.element_number[from[i]] >> shift) & ((1 << kBits) - 1)) + 1];
      for (int b = 0; b < (1 << kBits); ++b) start[b + 1] += start[b];
      for (int32_t i = 0; i < count; ++i) to[start[(m.element_number[from[i]] >> shift) & ((1 << kBits) - 1)]++] = from[i];
      std::swap(from, to);
    }
    // Two passes: the result is back in order[].
  }
  m.element_ordered = count;
  return true;
}

}  // namespace

int node_input(ReaderState& r, char* errMsg) {
  InputFile& in = r.input;
  ModelStore& m = *r.model;
  if (m.large) {
    m.node_slots = 0;
    index_clear(m.node_index);
  } else {
    clear_flags(m.node_state, &m.node_state_used);
  }
  char record[kRecordSize];
  char tokens[3][kRealLen];
  for (;;) {
    if (int r = next_record(in, record, msg::in_node_eof, errMsg); r <= 0) return r;
    const int line = in.line_number;
    if (split_tokens(record, tokens[0], 3, kRealLen) != 3) {
      put_message(errMsg, kErrMsgSize, msg::in_node_record_bad, line);
      return -1;
    }
    const int32_t n = parse_index(tokens[0]);
    if (out_of_range(m, n)) {
      if (r.log_file != nullptr) {
        std::fprintf(r.log_file, msg::in_node_max_log, shown_max(m));
        std::fprintf(r.log_file, msg::in_node_number_bad, line, shown_max(m));
        std::fflush(r.log_file);
      }
      put_message(errMsg, kErrMsgSize, msg::in_node_number_bad, line, shown_max(m));
      note_table_limit(r);
      return -1;
    }
    int32_t slot = node_slot(m, n);
    if (slot >= 0 && m.node_state[slot] != 0) {
      put_message(errMsg, kErrMsgSize, msg::in_node_twice, line, n);
      return -1;
    }
    if (slot < 0 && !add_node_slot(m, n, &slot, errMsg)) return -1;
    m.node_state[slot] = 1;
    if (!m.large && slot >= m.node_state_used) m.node_state_used = slot + 1;
    double x, y;
    if (!read_real(tokens[1], &x)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_x_bad, line);
      return -1;
    }
    m.node_x[slot] = static_cast<float>(x);
    if (!read_real(tokens[2], &y)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_y_bad, line);
      return -1;
    }
    m.node_y[slot] = static_cast<float>(y);
  }
}

int element_input(ReaderState& r, char* errMsg) {
  InputFile& in = r.input;
  ModelStore& m = *r.model;
  if (m.large) {
    m.element_slots = m.element_ordered = 0;
    index_clear(m.element_index);
  } else {
    clear_flags(m.element_defined, &m.element_defined_used);
  }
  char record[kRecordSize];
  char tokens[5][kShortLen];
  for (;;) {
    if (int r = next_record(in, record, msg::in_element_eof, errMsg); r <= 0) {
      if (r == 0 && m.large && !order_elements(m, errMsg)) return -1;
      return r;
    }
    const int line = in.line_number;
    const int count = split_tokens(record, tokens[0], 5, kShortLen);
    if (count != 4 && count != 5) {
      put_message(errMsg, kErrMsgSize, msg::in_element_record_bad, line);
      return -1;
    }
    const int32_t e = parse_index(tokens[0]);
    if (out_of_range(m, e)) {
      put_message(errMsg, kErrMsgSize, msg::in_element_number_bad, line, shown_max(m));
      note_table_limit(r);
      return -1;
    }
    int32_t slot = m.large ? index_find(m.element_index, e) : e;
    if (slot >= 0 && m.element_defined[slot] != 0) {
      put_message(errMsg, kErrMsgSize, msg::in_element_twice, line, e);
      return -1;
    }
    if (slot < 0 && !add_element_slot(m, e, &slot, errMsg)) return -1;
    // Node numbers are kept as written; the engine checks them.
    m.element_defined[slot] = 1;
    if (!m.large && slot >= m.element_defined_used) m.element_defined_used = slot + 1;
    m.element_nodes[slot][3] = -1;
    for (int t = 1; t < count; ++t) m.element_nodes[slot][t - 1] = parse_index(tokens[t]);
  }
}

int node_data_input(ReaderState& r, char* errMsg) {
  InputFile& in = r.input;
  ModelStore& m = *r.model;
  char record[kRecordSize];
  char tokens[2][kRealLen];
  for (;;) {
    if (int r = next_record(in, record, msg::in_node_data_eof, errMsg); r <= 0) return r;
    const int line = in.line_number;
    if (split_tokens(record, tokens[0], 2, kRealLen) != 2) {
      put_message(errMsg, kErrMsgSize, msg::in_node_record_bad, line);
      return -1;
    }
    const int32_t n = parse_index(tokens[0]);
    if (out_of_range(m, n)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_data_number_bad, line, shown_max(m));
      note_table_limit(r);
      return -1;
    }
    const int32_t slot = node_slot(m, n);
    if (slot < 0 || m.node_state[slot] == 0) {
      put_message(errMsg, kErrMsgSize, msg::in_node_data_undefined, line, n);
      return -1;
    }
    if (m.node_state[slot] != 1) {
      put_message(errMsg, kErrMsgSize, msg::in_node_data_twice, line, n);
      return -1;
    }
    m.node_state[slot] = 2;
    double value;
    if (!read_real(tokens[1], &value)) {
      put_message(errMsg, kErrMsgSize, msg::in_node_x_bad, line);
      return -1;
    }
    m.node_value[slot] = static_cast<float>(value);
  }
}

int frame_data_input(ReaderState& r, char* errMsg) {
  InputFile& in = r.input;
  ModelStore& m = *r.model;
  m.frame_count = 0;
  char record[kRecordSize];
  char tokens[4][kShortLen];
  for (;;) {
    if (int r = next_record(in, record, msg::in_element_eof, errMsg); r <= 0) return r;
    const int line = in.line_number;
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
