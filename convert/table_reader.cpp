#include "table_reader.h"

#include <algorithm>
#include <deque>

#include "line_reader.h"
#include "model.h"
#include "numbers.h"

namespace convert {

namespace {

enum class Separator { comma, tab, blanks };

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// Hands out the content lines of a source with their 1-based numbers.
class Lines {
 public:
  explicit Lines(LineReader& source) : source_(source) {}
  // The next line that is neither empty nor a comment; false at the end.
  bool next_content(std::string_view& line) {
    while (source_.next(line)) {
      if (source_.number() == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      const std::string_view content = trim(line);
      if (!content.empty() && content.front() != '#') return true;
    }
    return false;
  }
  int64_t number() const { return source_.number(); }

 private:
  LineReader& source_;
};

// The fields of one line. Quoted CSV fields lose their quotes, and a doubled
// quote inside them stands for one; such fields are kept in store.
void split_fields(std::string_view line, Separator sep, int64_t line_number, std::vector<std::string_view>& fields,
                  std::deque<std::string>& store) {
  fields.clear();
  store.clear();
  if (sep == Separator::blanks) {
    size_t p = 0;
    for (;;) {
      while (p < line.size() && is_blank(line[p])) ++p;
      if (p == line.size()) return;
      const size_t start = p;
      while (p < line.size() && !is_blank(line[p])) ++p;
      fields.push_back(line.substr(start, p - start));
    }
  }
  const char separator = sep == Separator::comma ? ',' : '\t';
  for (size_t p = 0;;) {
    size_t end = line.find(separator, p);
    std::string_view field = trim(line.substr(p, end == std::string_view::npos ? end : end - p));
    if (sep == Separator::comma && !field.empty() && field.front() == '"') {
      // The quoted field runs to its closing quote, separators included.
      const size_t open = line.find('"', p);
      std::string text;
      size_t q = open + 1;
      for (;; ++q) {
        if (q >= line.size()) throw LineFailure(line_number, "a quoted field has no closing quote");
        if (line[q] != '"') {
          text += line[q];
        } else if (q + 1 < line.size() && line[q + 1] == '"') {
          text += '"';
          ++q;
        } else {
          break;
        }
      }
      end = line.find(separator, q + 1);
      if (!trim(line.substr(q + 1, end == std::string_view::npos ? end : end - q - 1)).empty())
        throw LineFailure(line_number, "text follows a quoted field's closing quote");
      store.push_back(std::move(text));
      field = store.back();
    }
    fields.push_back(field);
    if (end == std::string_view::npos) return;
    p = end + 1;
  }
}

// A comma makes CSV; tabs without blanks beside them make TSV (whose
// fields may be empty or hold blanks); anything else is blank-separated.
Separator separator_of(std::string_view line) {
  if (line.find(',') != std::string_view::npos) return Separator::comma;
  if (line.find('\t') == std::string_view::npos) return Separator::blanks;
  for (size_t p = 0; p < line.size(); ++p)
    if (line[p] == ' ' && ((p == 0 || p + 1 == line.size()) || line[p - 1] == '\t' || line[p + 1] == '\t'))
      return Separator::blanks;
  return Separator::tab;
}

bool is_number(std::string_view field) {
  float v;
  return parse_real(field, v) != Parsed::not_number;
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(p) == lower(q);
         });
}

// The field index (0-based) of a named column: an exact match first, then
// one that differs in case only.
size_t find_column(const std::vector<std::string>& header, const std::string& name) {
  auto at = std::find(header.begin(), header.end(), name);
  if (at == header.end())
    at = std::find_if(header.begin(), header.end(), [&](const std::string& h) { return same_name(h, name); });
  if (at == header.end()) {
    std::string known;
    for (const std::string& h : header) known += (known.empty() ? "" : ", ") + h;
    throw Failure("no column '" + name + "' in the header line (" + known + ")");
  }
  return static_cast<size_t>(at - header.begin());
}

}  // namespace

std::string parse_columns(const std::string& text, Columns& out) {
  Columns c;
  std::string_view rest = text;
  for (int k = 0; k < 3; ++k) {
    const size_t comma = rest.find(',');
    if ((k < 2) == (comma == std::string_view::npos)) return "--columns needs three columns, X,Y,Z";
    const std::string_view item = trim(rest.substr(0, comma));
    if (item.empty()) return "--columns names an empty column";
    int64_t n;
    if (parse_integer(item, n)) {
      if (n < 1 || n > 100000) return "column number " + std::string(item) + " is not from 1 to 100000";
      c.number[k] = static_cast<int>(n);
    } else {
      c.number[k] = 0;
      c.name[k] = std::string(item);
    }
    rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
  }
  for (int a = 0; a < 3; ++a)
    for (int b = a + 1; b < 3; ++b)
      if (c.number[a] == c.number[b] && c.name[a] == c.name[b]) return "--columns names one column twice";
  out = c;
  return {};
}

std::vector<Point> parse_table(std::string_view bytes, const Columns& columns) {
  LineReader source(bytes);
  return parse_table(source, columns);
}

std::vector<Point> parse_table(LineReader& source, const Columns& columns, std::vector<FullPoint>* full) {
  Lines lines(source);
  std::string_view line;
  if (!lines.next_content(line)) throw Failure("no data: the table holds no rows");
  const Separator sep = separator_of(line);
  std::vector<std::string_view> fields;
  std::deque<std::string> store;  // keeps its elements in place: fields point into them
  split_fields(line, sep, lines.number(), fields, store);
  // The header's names outlive its line.
  std::vector<std::string> names(fields.begin(), fields.end());

  const bool by_name = !columns.name[0].empty() || !columns.name[1].empty() || !columns.name[2].empty();
  bool header = by_name;
  if (!by_name) {
    header = true;
    for (int k = 0; k < 3; ++k)
      if (static_cast<size_t>(columns.number[k]) <= fields.size() && is_number(fields[columns.number[k] - 1]))
        header = false;
  }
  size_t index[3];
  std::string label[3];  // how messages name the column
  for (int k = 0; k < 3; ++k) {
    index[k] =
        columns.number[k] > 0 ? static_cast<size_t>(columns.number[k]) - 1 : find_column(names, columns.name[k]);
    label[k] = "field " + std::to_string(index[k] + 1);
    if (header && index[k] < names.size()) label[k] += " (" + names[index[k]] + ")";
  }
  const size_t needed = *std::max_element(index, index + 3) + 1;

  std::vector<Point> points;
  bool have_line = !header || lines.next_content(line);
  while (have_line) {
    split_fields(line, sep, lines.number(), fields, store);
    if (fields.size() < needed) {
      const std::string count = std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields");
      throw LineFailure(lines.number(), "has " + count + "; x, y and z are read from " + label[0] + ", " + label[1] +
                                            " and " + label[2]);
    }
    float v[3];
    for (int k = 0; k < 3; ++k) {
      const std::string_view field = fields[index[k]];
      const Parsed p = parse_real(field, v[k]);
      if (p == Parsed::not_number)
        throw LineFailure(lines.number(), label[k] + " '" + std::string(field) + "' is not a number");
      if (p == Parsed::out_of_range)
        throw LineFailure(lines.number(), label[k] + " " + std::string(field) + " is beyond single precision");
    }
    points.push_back({v[0], v[1], v[2]});
    if (full != nullptr)
      full->push_back({parse_full(fields[index[0]]), parse_full(fields[index[1]]), parse_full(fields[index[2]])});
    have_line = lines.next_content(line);
  }
  if (points.empty()) throw Failure("no data: the table has a header line but no rows");
  return points;
}

}  // namespace convert
