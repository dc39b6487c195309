#include "diagnosis.h"

#include "cp932.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>



namespace isovar_plot {

namespace {

constexpr std::size_t kHeadSize = 4096;
constexpr std::size_t kLineChars = 80;

bool starts_with(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// The file name's ending, lower case, with its dot; "" when none.
std::string extension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return {};
  std::string e = path.substr(dot);
  for (char& c : e) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return e;
}

// What isovar-convert reads a file as by its name.
Looks kind_by_name(const std::string& path) {
  const std::string e = extension(path);
  if (e == ".msh") return Looks::kMesh;
  if (e == ".csv" || e == ".tsv" || e == ".txt" || e == ".xyz" || e == ".dat") return Looks::kTable;
  return Looks::kRaster;
}

// A word of a command line as the shell reads it back.
std::string shell_word(const std::string& word) {
  bool plain = !word.empty() && word[0] != '-' && word[0] != '~';
  for (char c : word) {
    plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::strchr("/._-+,:@%", c) != nullptr);
  }
  if (plain) return word;
  std::string quoted = word[0] == '-' ? "./'" : "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Whether field (blanks and quotes around it aside) is a number.
bool number_field(std::string_view field) {
  while (!field.empty() && (field.front() == ' ' || field.front() == '"')) field.remove_prefix(1);
  while (!field.empty() && (field.back() == ' ' || field.back() == '"')) field.remove_suffix(1);
  if (field.empty() || field.size() > 64) return false;
  const std::string text(field);
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

// The fields of a table line: split at commas, else at tabs, else at runs
// of blanks.
std::vector<std::string_view> fields_of(std::string_view line, char* separator) {
  *separator = line.find(',') != std::string_view::npos ? ',' : line.find('\t') != std::string_view::npos ? '\t' : ' ';
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at <= line.size()) {
    if (*separator == ' ') {
      while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
      if (at == line.size()) break;
    }
    std::size_t end = at;
    while (end < line.size() && (*separator == ' ' ? line[end] != ' ' && line[end] != '\t' : line[end] != *separator))
      ++end;
    fields.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return fields;
}

// Whether the text lines look like a table of points (a header line first,
// perhaps): every content line has three fields or more, all numbers. The
// table's kind in *what.
bool table_lines(const std::vector<std::string_view>& lines, std::string* what) {
  int rows = 0;
  char first_separator = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    char separator;
    const std::vector<std::string_view> fields = fields_of(lines[i], &separator);
    bool numbers = fields.size() >= 3;
    for (std::string_view f : fields) numbers = numbers && number_field(f);
    if (i == 0) first_separator = separator;
    if (!numbers && !(i == 0 && fields.size() >= 3)) return false;
    if (numbers) ++rows;
  }
  if (rows == 0) return false;
  *what = first_separator == ',' ? "a table (comma-separated columns of numbers)"
          : first_separator == '\t' ? "a table (tab-separated columns of numbers)"
                                    : "a table (columns of numbers separated by blanks)";
  return true;
}

// The content lines of a text's head: without a byte order mark, empty lines,
// '#' lines and a last line that may be cut short (unless whole is set).
std::vector<std::string_view> content_lines(std::string_view text, bool whole) {
  if (starts_with(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos && !whole) break;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    lines.push_back(line);
  }
  return lines;
}

// Bytes a text file hardly holds: NUL and the control characters other than
// tab, line feed, carriage return, form feed and escape.
bool binary(std::string_view head) {
  int odd = 0;
  for (unsigned char c : head) {
    if (c == 0) return true;
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1b) ++odd;
  }
  return odd * 20 > static_cast<int>(head.size());
}

// UTF-8 text cut to count characters; *cut says whether something went.
std::string first_characters(const std::string& text, std::size_t count, bool* cut) {
  std::size_t at = 0;
  for (std::size_t chars = 0; at < text.size(); ++chars) {
    if (chars == count) {
      *cut = true;
      return text.substr(0, at);
    }
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return text;
}

}  // namespace

Look look_at(const std::string& head) {
  struct Magic {
    std::string_view start;
    Looks kind;
    const char* what;
  };
  static const Magic kMagic[] = {
      {std::string_view("II*\0", 4), Looks::kRaster, "a TIFF raster (GeoTIFF or plain TIFF)"},
      {std::string_view("MM\0*", 4), Looks::kRaster, "a TIFF raster (GeoTIFF or plain TIFF)"},
      {std::string_view("II+\0", 4), Looks::kRaster, "a BigTIFF raster"},
      {std::string_view("MM\0+", 4), Looks::kRaster, "a BigTIFF raster"},
      {"\x89HDF\r\n\x1a\n", Looks::kRaster, "an HDF5 or netCDF-4 raster"},
      {"CDF\x01", Looks::kRaster, "a netCDF raster"},
      {"CDF\x02", Looks::kRaster, "a netCDF raster"},
      {"CDF\x05", Looks::kRaster, "a netCDF raster"},
      {"GRIB", Looks::kRaster, "a GRIB raster"},
      {"EHFA_HEADER_TAG", Looks::kRaster, "an ERDAS Imagine raster"},
      {std::string_view("\0\0\0\x0cjP  \r\n\x87\n", 12), Looks::kRaster, "a JPEG 2000 raster"},
      {"DSAA", Looks::kRaster, "a Surfer grid raster"},
      {"DSBB", Looks::kRaster, "a Surfer grid raster"},
      {"DSRB", Looks::kRaster, "a Surfer grid raster"},
      {"ncols", Looks::kRaster, "an ASCII grid raster"},
      {"NCOLS", Looks::kRaster, "an ASCII grid raster"},
      {"\x89PNG\r\n\x1a\n", Looks::kImage, "a PNG image"},
      {"\xff\xd8\xff", Looks::kImage, "a JPEG image"},
      {"GIF87a", Looks::kImage, "a GIF image"},
      {"GIF89a", Looks::kImage, "a GIF image"},
      {"$MeshFormat", Looks::kMesh, "a Gmsh mesh"},
      {"%PDF-", Looks::kOtherText, "a PDF document"},
  };
  for (const Magic& m : kMagic)
    if (starts_with(head, m.start)) return {m.kind, m.what};
  // A BMP: "BM", then reserved zeros and a known header size.
  if (head.size() >= 18 && starts_with(head, "BM") && head.compare(6, 4, std::string(4, '\0')) == 0) {
    const unsigned char size = static_cast<unsigned char>(head[14]);
    if ((size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124) &&
        head.compare(15, 3, std::string(3, '\0')) == 0)
      return {Looks::kImage, "a BMP image"};
  }
  if (binary(head)) return {Looks::kBinary, "binary data"};
  const std::vector<std::string_view> lines = content_lines(head, head.size() < kHeadSize);
  if (lines.empty() || lines[0].find_first_not_of(" \t") == std::string_view::npos) {
    return {Looks::kOtherText, "text without content (blank lines and # lines only)"};
  }
  if (lines[0][lines[0].find_first_not_of(" \t")] == '*') return {Looks::kModel, "a model"};
  std::string what;
  if (table_lines(lines, &what)) return {Looks::kTable, what};
  return {Looks::kOtherText, "text, but no model (a model's first line is a section, such as *model, *title or *x)"};
}

std::string convert_command(const std::string& input, Looks kind) {
  if (kind == Looks::kImage || kind == Looks::kBinary) kind = Looks::kRaster;
  if (kind != Looks::kRaster && kind != Looks::kTable && kind != Looks::kMesh) return {};
  const bool piped = input == "-";  // standard input: saved in a file first
  std::string command = "isovar-convert ";
  if ((piped ? Looks::kRaster : kind_by_name(input)) != kind)
    command += kind == Looks::kRaster ? "--kind raster " : kind == Looks::kTable ? "--kind table " : "--kind mesh ";
  if (piped) return command + "FILE -o MODEL.isovar";
  // The model beside the input, as isovar-convert names it by default, but
  // never the input itself.
  std::string model = input.substr(0, input.size() - extension(input).size()) + ".isovar";
  if (model == input) model = input.substr(0, input.size() - 7) + ".model.isovar";
  return command + shell_word(input) + " -o " + shell_word(model);
}

int refused_line(const std::string& text) {
  for (const char* mark : {"行:", "行："}) {
    const std::size_t at = text.find(mark);
    if (at == std::string::npos) continue;
    const char* digits = text.c_str() + at + std::strlen(mark);
    char* end = nullptr;
    const long line = std::strtol(digits, &end, 10);
    if (end != digits && line > 0 && line <= 0x7fffffff) return static_cast<int>(line);
  }
  return 0;
}

std::string line_of(const std::string& path, int number, bool* found) {
  *found = false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  // Enough bytes for the characters shown, and one more to tell a cut.
  constexpr std::size_t kKeep = kLineChars * 4 + 4;
  std::string line;
  bool longer = false;
  int at_line = 1;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *found = at_line == number && !line.empty();
      break;
    }
    const char* p = buffer;
    const char* end = buffer + n;
    while (p < end && at_line < number) {
      const char* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (newline == nullptr) {
        p = end;
        break;
      }
      p = newline + 1;
      ++at_line;
    }
    if (at_line < number) continue;
    const char* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* stop = newline != nullptr ? newline : end;
    const std::size_t room = kKeep - line.size();
    line.append(p, std::min(room, static_cast<std::size_t>(stop - p)));
    longer = longer || static_cast<std::size_t>(stop - p) > room;
    if (newline != nullptr) {
      *found = true;
      break;
    }
  }
  close(fd);
  if (!*found) return {};
  if (!line.empty() && line.back() == '\r' && !longer) line.pop_back();
  bool cut = longer;
  std::string text = first_characters(printable(cp932::to_utf8(line)), kLineChars, &cut);
  return cut ? text + "..." : text;
}

std::string printable(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\t') {
      shown += ' ';
    } else if (c < 0x20 || c == 0x7f) {
      shown += '?';
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      shown += '?';  // a C1 control character
      ++i;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

std::vector<std::string> explain_refused_input(const std::string& path, const std::string& shown,
                                               const std::string& text) {
  if (path.empty()) return {};
  // The system's reason when the file cannot be read at all.
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {std::strerror(errno)};
  if (S_ISDIR(st.st_mode)) return {std::strerror(EISDIR)};
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {std::strerror(errno)};
  // A pipe or a device is not read again.
  std::string head;
  if (S_ISREG(st.st_mode)) {
    head.resize(kHeadSize);
    std::size_t got = 0;
    while (got < head.size()) {
      const ssize_t n = read(fd, &head[got], head.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    head.resize(got);
  }
  close(fd);
  if (!S_ISREG(st.st_mode)) return {};
  if (head.empty()) return {"the file is empty"};

  std::vector<std::string> lines;
  const Look look = look_at(head);
  if (look.kind != Looks::kModel) {
    lines.push_back("not a model: it looks like " + look.what);
    const std::string command = convert_command(shown, look.kind);
    if (!command.empty()) {
      const std::string what =
          look.kind == Looks::kBinary  ? "if it is a raster GDAL reads, isovar-convert makes a model of it"
          : look.kind == Looks::kImage ? "isovar-convert makes a model of its pixel values"
                                       : "isovar-convert makes a model of it";
      lines.push_back(what + (shown == "-" ? " once saved in a file: " : ": ") + command);
    }
    return lines;
  }
  if (const int number = refused_line(text)) {
    bool found = false;
    const std::string line = line_of(path, number, &found);
    if (found) lines.push_back("line " + std::to_string(number) + ": " + line);
  }
  return lines;
}

}  // namespace isovar_plot
