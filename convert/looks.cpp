#include "looks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "numbers.h"

namespace convert {

namespace {

constexpr size_t kHeadBytes = 4096;

bool starts(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool starts_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k) {
    char c = text[k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[k]) return false;
  }
  return true;
}

struct Signature {
  std::string_view bytes;
  const char* what;
};

// Rasters GDAL reads, by their first bytes.
const Signature kRasterSignatures[] = {
    {"\x89PNG\r\n\x1a\n", "a PNG image"},
    {"\xFF\xD8\xFF", "a JPEG image"},
    {"GIF87a", "a GIF image"},
    {"GIF89a", "a GIF image"},
    {std::string_view("II*\0", 4), "a TIFF image"},
    {std::string_view("MM\0*", 4), "a TIFF image"},
    {std::string_view("II+\0", 4), "a TIFF image"},
    {std::string_view("MM\0+", 4), "a TIFF image"},
    {"CDF\x01", "a netCDF file"},
    {"CDF\x02", "a netCDF file"},
    {"\x89HDF\r\n\x1a\n", "an HDF5 or netCDF-4 file"},
};

// A BMP file: "BM" and one of the known header sizes at byte 14.
bool is_bmp(std::string_view head) {
  if (head.size() < 18 || !starts(head, "BM")) return false;
  const unsigned size = static_cast<unsigned char>(head[14]) | static_cast<unsigned char>(head[15]) << 8;
  return head[16] == 0 && head[17] == 0 && (size == 12 || size == 40 || size == 52 || size == 56 || size == 108 ||
                                            size == 124);
}

// Whether a line holds three numbers or more, however separated.
bool numbers_line(std::string_view line) {
  int numbers = 0;
  size_t p = 0;
  while (p < line.size()) {
    while (p < line.size() && std::strchr(" \t,;\r", line[p]) != nullptr) ++p;
    const size_t start = p;
    while (p < line.size() && std::strchr(" \t,;\r", line[p]) == nullptr) ++p;
    if (p == start) break;
    std::string_view field = line.substr(start, p - start);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') field = field.substr(1, field.size() - 2);
    float v;
    if (parse_real(field, v) == Parsed::not_number) return false;
    ++numbers;
  }
  return numbers >= 3;
}

}  // namespace

Looks looks_of(std::string_view head) {
  for (const Signature& s : kRasterSignatures)
    if (starts(head, s.bytes)) return {Looks::Kind::raster, s.what};
  if (is_bmp(head)) return {Looks::Kind::raster, "a BMP image"};
  if (head.empty()) return {Looks::Kind::unknown, "empty"};
  if (head.find('\0') != std::string_view::npos) return {Looks::Kind::unknown, "binary data"};

  if (starts(head, "\xEF\xBB\xBF")) head.remove_prefix(3);
  // The content lines in full: the last one may be cut where the head ends.
  std::vector<std::string_view> lines;
  for (size_t p = 0; p < head.size();) {
    const size_t lf = head.find('\n', p);
    if (lf == std::string_view::npos) break;
    std::string_view line = head.substr(p, lf - p);
    p = lf + 1;
    while (!line.empty() && std::strchr(" \t\r", line.front()) != nullptr) line.remove_prefix(1);
    if (!line.empty()) lines.push_back(line);
  }
  if (lines.empty()) return {Looks::Kind::unknown, "text"};
  const std::string_view first = lines.front();
  if (starts(first, "*model")) return {Looks::Kind::model, "an Isovar model file"};
  if (starts(first, "$MeshFormat")) return {Looks::Kind::mesh, "a Gmsh mesh"};
  if (starts_nocase(first, "ncols")) return {Looks::Kind::raster, "an ESRI ASCII grid"};
  // A table: after comments, a line of numbers first or after a header.
  size_t k = 0;
  while (k < lines.size() && lines[k].front() == '#') ++k;
  for (size_t seen = 0; k < lines.size() && seen < 2; ++k, ++seen)
    if (numbers_line(lines[k])) return {Looks::Kind::table, "a table of numbers"};
  return {Looks::Kind::unknown, "text"};
}

Looks looks_of_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  char head[kHeadBytes];
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::read(fd, head + got, sizeof head - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0 && got == 0) {
        ::close(fd);
        return {};
      }
      break;
    }
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  return looks_of(std::string_view(head, got));
}

std::string shell_word(const std::string& text) {
  bool plain = !text.empty();
  for (char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          std::strchr("./_-+,:@%=", c) != nullptr))
      plain = false;
  // A name that begins with '-' would be read as an option.
  if (plain) return text[0] == '-' ? "./" + text : text;
  std::string quoted = text[0] == '-' ? "'./" : "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string what_next(const std::string& path, InputKind tried) {
  const Looks looks = looks_of_file(path);
  const std::string name = shell_word(path);
  InputKind kind;
  const char* kind_name;
  switch (looks.kind) {
    case Looks::Kind::model:
      return path + " is " + looks.what + " already: plot it with isovar-plot " + name;
    case Looks::Kind::raster:
      kind = InputKind::raster;
      kind_name = "raster";
      break;
    case Looks::Kind::table:
      kind = InputKind::table;
      kind_name = "table";
      break;
    case Looks::Kind::mesh:
      kind = InputKind::mesh;
      kind_name = "mesh";
      break;
    default:
      return {};
  }
  if (kind == tried) return {};
  const std::string option = kind_of(path) == kind ? "" : std::string("--kind ") + kind_name + " ";
  return path + " looks like " + looks.what + ": convert it with isovar-convert " + option + name;
}

}  // namespace convert
