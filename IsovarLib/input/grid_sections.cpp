// The grid sections ("*x", "*y", "*value") and the level section ("*isovar").
#include <cstring>

#include "shared/run_context.h"
#include "input/model_store.h"
#include "input/reader.h"
#include "isovar_messages.h"

namespace {

constexpr int kRealLen = 19;  // 18 characters and the NUL
constexpr int kShownMaxGrid = 500;  // both axes name 500, though x stops at 499

bool is(const char* token, const char* word) { return std::strcmp(token, word) == 0; }

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }

// A value line in its plainest spelling, read from the input buffer itself:
// separators, I and J as one to nine digits each, V as a plain decimal
// (plain_decimal) of at most 18 characters, separators, the line feed (a
// carriage return right before it allowed); nothing else (no comment, no
// fourth field, no letter), and the whole line, feed included, within the
// buffer and within one record piece. For such a line the indices and the
// value are those read_record, split_tokens, parse_index and read_real give.
// The bytes the line takes, or 0 to leave it to them.
int plain_value_line(const InputFile& in, int32_t* i, int32_t* j, double* value) {
  const char* const line = in.buffer + in.pos;
  const int avail = in.end - in.pos;
  // read_record takes a line whole when its feed lies within this many bytes.
  const char* const end = line + (avail < kRecordSize - 1 ? avail : kRecordSize - 1);
  const char* p = line;
  auto skip = [&] {
    while (p < end && is_separator(*p)) ++p;
  };
  auto index = [&](int32_t* out) {
    const char* start = p;
    uint32_t n = 0;
    for (unsigned d; p < end && (d = static_cast<unsigned char>(*p) - '0') < 10; ++p) n = n * 10 + d;
    if (p == start || p - start > 9 || p == end || !is_separator(*p)) return false;
    *out = static_cast<int32_t>(n);
    return true;
  };
  skip();
  if (!index(i)) return 0;
  skip();
  if (!index(j)) return 0;
  skip();
  const char* token = p;
  while (p < end && !is_separator(*p) && *p != '\n' && *p != '\r') ++p;
  const char* token_end = p;
  if (token_end - token > kRealLen - 1 || !plain_decimal(token, token_end, value)) return 0;
  skip();
  if (p < end && *p == '\r') ++p;
  if (p == end || *p != '\n') return 0;
  return static_cast<int>(p - line) + 1;
}

// What tells "*x" from "*y" apart.
struct Axis {
  const char* routine;
  int32_t* count;
  Table<float>* coords;  // 1-based
  int32_t capacity;
  const char* eof;
  const char* record_bad;
  const char* too_many;
  const char* not_number;
  const char* not_ascending;
};

int axis_input(ReaderState& r, char* errMsg, const Axis& axis) {
  InputFile& in = r.input;
  *axis.count = 0;
  char record[kRecordSize];
  char token[1][kRealLen];
  for (;;) {
    if (read_record(in, record) != 0) {
      copy_message(errMsg, kErrMsgSize, axis.eof);
      return -1;
    }
    const int line = in.line_number;
    if (split_tokens(record, token[0], 1, kRealLen) == 0) {
      put_message(errMsg, kErrMsgSize, axis.record_bad, line);
      return -1;
    }
    if (is(token[0], "*end")) return 0;
    // The count is checked before the text, so a record past the limit
    // fails on the limit whatever it holds.
    if (*axis.count == axis.capacity) {
      put_message(errMsg, kErrMsgSize, axis.too_many, line, kShownMaxGrid);
      note_table_limit(r);
      return -1;
    }
    double value;
    if (!read_real(token[0], &value)) {
      put_message(errMsg, kErrMsgSize, axis.not_number, line);
      return -1;
    }
    // The last stored coordinate (single) against the new one (double).
    Table<float>& coords = *axis.coords;
    if (*axis.count > 0 && !(coords[*axis.count] < value)) {
      put_message(errMsg, kErrMsgSize, axis.not_ascending, line);
      return -1;
    }
    if (!coords.reserve(int64_t{*axis.count} + 2)) {
      put_message(errMsg, kErrMsgSize, msg::out_of_memory, axis.routine);
      return -1;
    }
    ++*axis.count;
    coords[*axis.count] = static_cast<float>(value);
  }
}

}  // namespace

int x_input(ReaderState& r, char* errMsg) {
  ModelStore& m = *r.model;
  const Axis x = {"x_input",           &m.grid_nx,  &m.grid_x,
                  table_limits(m.large).grid_nx, msg::in_x_eof,
                  msg::in_x_record_bad, msg::in_x_too_many, msg::in_x_not_number, msg::in_x_not_ascending};
  return axis_input(r, errMsg, x);
}

int y_input(ReaderState& r, char* errMsg) {
  ModelStore& m = *r.model;
  const Axis y = {"y_input",           &m.grid_ny,  &m.grid_y,
                  table_limits(m.large).grid_ny, msg::in_y_eof,
                  msg::in_y_record_bad, msg::in_y_too_many, msg::in_y_not_number, msg::in_y_not_ascending};
  return axis_input(r, errMsg, y);
}

int value_input(ReaderState& r, char* errMsg) {
  InputFile& in = r.input;
  ModelStore& m = *r.model;
  if (m.large) {
    // The tables cover the grid in force; points outside them are undefined.
    const int64_t stride = int64_t{m.grid_ny} + 1;
    const int64_t cells = (int64_t{m.grid_nx} + 1) * stride;
    // Fresh memory for a large grid: only the pages values land in are ever
    // given (the walk reads the others as zero pages), so a model declaring
    // a huge grid with few values costs what the values need.
    if (!m.grid_value.cells.renew(cells, false) || !m.grid_defined.cells.renew(cells, true) ||
        !m.column_has_values.renew(int64_t{m.grid_nx} + 1, true)) {
      put_message(errMsg, kErrMsgSize, msg::out_of_memory, "value_input");
      return -1;
    }
    m.grid_value.stride = m.grid_defined.stride = stride;
    m.value_nx = m.grid_nx;
    m.value_ny = m.grid_ny;
  } else {
    advise_huge_grid_tables(m);
    clear_flags(m.grid_defined.cells, &m.grid_defined_used);
  }
  auto define = [&m](int32_t i, int32_t j, double value) {
    m.grid_defined[i][j] = 1;
    if (m.large) m.column_has_values[i] = 1;
    m.grid_value[i][j] = static_cast<float>(value);
    if (!m.large && (i + 1) * m.grid_defined.stride > m.grid_defined_used)
      m.grid_defined_used = (i + 1) * m.grid_defined.stride;
  };
  char record[kRecordSize];
  char tokens[3][kRealLen];
  for (;;) {
    // Most lines are plain and valid: read in place and stored.
    int32_t i, j;
    double value;
    if (const int taken = plain_value_line(in, &i, &j, &value);
        taken > 0 && i >= 1 && i <= m.grid_nx && j >= 1 && j <= m.grid_ny && m.grid_defined[i][j] == 0) {
      take_line(in, taken);
      define(i, j, value);
      continue;
    }
    if (read_record(in, record) != 0) {
      put_message(errMsg, kErrMsgSize, msg::in_value_eof, in.line_number);
      return -1;
    }
    const int line = in.line_number;
    const int count = split_tokens(record, tokens[0], 3, kRealLen);
    if (count == 1 && is(tokens[0], "*end")) return 0;
    if (count != 3) {
      put_message(errMsg, kErrMsgSize, msg::in_value_format, line);
      return -1;
    }
    i = parse_index(tokens[0]);
    j = parse_index(tokens[1]);
    if (i < 1 || i > m.grid_nx) {
      put_message(errMsg, kErrMsgSize, msg::in_value_bad_i, line);
      return -1;
    }
    if (j < 1 || j > m.grid_ny) {
      put_message(errMsg, kErrMsgSize, msg::in_value_bad_j, line);
      return -1;
    }
    if (!read_real(tokens[2], &value)) {
      put_message(errMsg, kErrMsgSize, msg::in_value_not_number, line);
      return -1;
    }
    if (m.grid_defined[i][j] != 0) {
      put_message(errMsg, kErrMsgSize, msg::in_value_twice, line, i, j);
      return -1;
    }
    define(i, j, value);
  }
}

int con_input(ReaderState& r, char* errMsg) {
  InputFile& in = r.input;
  ModelStore& m = *r.model;
  m.level_count = 0;
  char record[kRecordSize];
  char tokens[3][kRealLen];
  for (;;) {
    if (read_record(in, record) != 0) {
      put_message(errMsg, kErrMsgSize, msg::in_level_eof, in.line_number);
      return -1;
    }
    const int line = in.line_number;
    // A record of separators only has an empty first token, which reads as
    // the level 0.
    const int count = split_tokens(record, tokens[0], 3, kRealLen);
    if (is(tokens[0], "*end")) return 0;
    const int k = m.level_count;
    m.level_kind[k] = 0;
    m.level_label[k] = 1;
    double value;
    if (!read_real(tokens[0], &value)) {
      put_message(errMsg, kErrMsgSize, msg::in_level_not_number, line);
      return -1;
    }
    m.levels[k] = static_cast<float>(value);
    if (count >= 2) {
      if (is(tokens[1], "default")) {
        m.level_kind[k] = 0;
      } else if (is(tokens[1], "bold")) {
        m.level_kind[k] = 1;
      } else {
        put_message(errMsg, kErrMsgSize, msg::in_level_kind_bad, line);
        return -1;
      }
    }
    if (count >= 3) {
      if (!is(tokens[2], "no")) {
        put_message(errMsg, kErrMsgSize, msg::in_level_label_bad, line);
        return -1;
      }
      m.level_label[k] = 0;
    }
    ++m.level_count;
    if (m.level_count >= 2 && !(m.levels[k] > m.levels[k - 1])) {
      put_message(errMsg, kErrMsgSize, msg::in_level_not_ascending, line);
      return -1;
    }
    // The table has 50 slots, but the 50th level is refused even when
    // "*end" would follow it.
    if (m.level_count >= kLevelSlots) {
      put_message(errMsg, kErrMsgSize, msg::in_level_too_many, line);
      return -1;
    }
  }
}
