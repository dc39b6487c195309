// The outputs of a plot run, one writer each, in the table of formats. The
// picture's encoders stay with what they encode: the BMP is the library's
// (saved in the plot run itself), the PNG png_encode.cpp's, the SVG the
// drawing surface's, the PDF page the print replay's cairo module (loaded
// only for a PDF) or, with --vector, the drawing surface's own page, the GeoJSON files the library's, the other vector files
// OGR's (geodata.h).
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "findings.h"
#include "geodata.h"
#include "options.h"
#include "platform.h"
#include "plotter.h"
#include "png_encode.h"

namespace isovar_plot {

namespace {

bool to_standard_output(const std::string& path) { return path == kStandardOutput; }

// How messages name an output.
std::string shown(const std::string& path) { return to_standard_output(path) ? "standard output" : path; }

// Writes all of data to standard output: 0 or the error number.
int write_standard_output(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(STDOUT_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Writes an output made in memory whole, to the file the user named or to
// standard output, or says why it could not.
int put_output(const std::string& path, const char* data, std::size_t size) {
  const int error = to_standard_output(path)
                        ? write_standard_output(data, size)
                        : files::replace_file(path.c_str(), data, size, files::Target::kNamedByUser);
  return error == 0 ? kExitOk : own_failure(files::write_failure(shown(path), error));
}

// Copies a file of the private folder, which the library wrote, to standard
// output.
int copy_to_standard_output(const std::string& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return own_failure("cannot read " + file + ": " + std::strerror(errno));
  char buffer[65536];
  int read_error = 0, write_error = 0;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      read_error = n < 0 ? errno : 0;
      break;
    }
    if ((write_error = write_standard_output(buffer, static_cast<std::size_t>(n))) != 0) break;
  }
  close(fd);
  unlink(file.c_str());
  if (read_error != 0) return own_failure("cannot read " + file + ": " + std::strerror(read_error));
  return write_error == 0 ? kExitOk : own_failure(files::write_failure(shown(kStandardOutput), write_error));
}

int write_bmp(Run& run, const std::string& path) {
  if (!run.bmp_failure.empty()) return library_failure(shown(path), run.bmp_failure, run.bmp_error);
  return to_standard_output(path) ? copy_to_standard_output(run.bmp) : kExitOk;
}

int write_png(Run& run, const std::string& path) {
  int w = 0, h = 0;
  const uint32_t* bits = GetSurfaceBits(run.surface, &w, &h);
  if (bits == nullptr) return own_failure("cannot read the picture for " + shown(path));
  std::string png;
  if (!encode_png(bits, w, h, &png)) return own_failure("cannot make the PNG picture for " + shown(path));
  return put_output(path, png.data(), png.size());
}

int write_svg(Run& run, const std::string& path) {
  std::size_t size = 0;
  const char* svg = GetSurfaceSvg(run.surface, &size);
  if (svg == nullptr) return own_failure("cannot make the SVG picture for " + shown(path));
  return put_output(path, svg, size);
}

// A GeoJSON file of the library's; to standard output through the private
// folder, where the library writes it first.
int write_geojson(Run& run, const std::string& path, int32_t (*save)(char*, const char*), const char* own_name) {
  const std::string target = to_standard_output(path) ? run.private_file(own_name) : path;
  if (run.save_with_library(save, target, shown(path)) != kExitOk) return kExitFailure;
  return to_standard_output(path) ? copy_to_standard_output(target) : kExitOk;
}

// The bands; one band alone means the levels divide nothing, which is said.
int write_library_bands(Run& run, const std::string& path) {
  const std::string target = to_standard_output(path) ? run.private_file("bands.geojson") : path;
  if (run.save_with_library(saveBands, target, shown(path)) != kExitOk) return kExitFailure;
  if (count_features(target, 2) == 1)
    say(shown(path) + ": warning: one band only: the levels do not divide the model's values");
  return to_standard_output(path) ? copy_to_standard_output(target) : kExitOk;
}

// The ending a file of driver's has in the private folder, on its way to
// standard output.
const char* private_ending(const std::string& driver) {
  if (driver == "GPKG") return ".gpkg";
  if (driver == "FlatGeobuf") return ".fgb";
  if (driver == "CSV") return ".csv";
  if (driver == "KML") return ".kml";
  return ".geojson";
}

// How many of the run's outputs are isolines files.
int isoline_outputs(const Options& o) {
  int n = 0;
  for (int i = 0; i < kOutputFormatCount; ++i) {
    const OutputFormat& f = kOutputFormats[i];
    const bool lines = f.path == &Options::isolines || (f.driver != nullptr && std::strncmp(f.name, "bands", 5) != 0);
    if (lines && !(o.*f.path).empty()) ++n;
  }
  return n;
}

// The isolines or the bands in driver's format. GeoJSON in no CRS or in WGS
// 84 is the library's writer's (shortest numbers); the rest goes through OGR
// from the run's objects, in the model's CRS or reprojected for GeoJSON.
int write_vector_output(Run& run, const std::string& path, const std::string& driver, bool bands) {
  std::string wkt;
  if (!run.crs(&wkt)) return kExitFailure;
  const bool library = is_geojson(driver) && crs_is_none_or_wgs84(wkt);
  if (library && !run.direct)
    return bands ? write_library_bands(run, path) : write_geojson(run, path, saveIsolines, "isolines.geojson");
  // Isolines from a run not traced yet are written as the trace finishes
  // them, never all held; several isolines files share one trace instead.
  const bool streamed = !bands && !run.holds_trace() && isoline_outputs(run.options) == 1;
  const IsovarRun* traced = streamed ? nullptr : run.traced(bands);
  if (streamed ? !run.ready() : traced == nullptr) return kExitFailure;
  const std::string target =
      to_standard_output(path) ? run.private_file(bands ? "bands" : "isolines") + private_ending(driver) : path;
  if (library) {
    char err_msg[ISOVAR_ERRMSG_SIZE] = {};
    errno = 0;
    const int32_t r = bands      ? isovarRunSaveBands(traced, target.c_str(), err_msg)
                      : streamed ? run.stream_isolines(target, err_msg)
                                 : isovarRunSaveIsolines(traced, target.c_str(), err_msg);
    if (r != 0) {
      const int error = errno;
      return library_failure(shown(path), library_text(err_msg, {{target, shown(path)}}), error);
    }
  } else {
    VectorRequest request;
    request.driver = driver;
    request.crs_wkt = wkt;
    request.keep_crs = run.options.keep_crs;
    request.attr = run.options.attr;
    request.attr_min = run.options.attr_min;
    request.attr_max = run.options.attr_max;
    const LineFeed feed = [&run](const LineTaker& take) { return run.stream_lines(take); };
    std::string why = write_vector(traced, vector_levels(run.model()), bands, target, request, streamed ? &feed : nullptr);
    if (!why.empty()) {
      if (to_standard_output(path))
        for (std::size_t at; (at = why.find(target)) != std::string::npos;) why.replace(at, target.size(), shown(path));
      return own_failure(why);
    }
  }
  if (bands && isovarRunBandCount(traced) == 1)
    say(shown(path) + ": warning: one band only: the levels do not divide the model's values");
  return to_standard_output(path) ? copy_to_standard_output(target) : kExitOk;
}

int write_isolines(Run& run, const std::string& path) {
  std::string error;
  const std::string driver = vector_driver(path, run.options.vector_format, &error);
  return driver.empty() ? own_failure(error) : write_vector_output(run, path, driver, false);
}

int write_bands(Run& run, const std::string& path) {
  std::string error;
  const std::string driver = vector_driver(path, run.options.vector_format, &error);
  return driver.empty() ? own_failure(error) : write_vector_output(run, path, driver, true);
}

// The vector outputs --format names, each in its own format.
struct Listed {
  const char* driver;
  bool bands;
};
constexpr Listed kListed[] = {{"GPKG", false}, {"ESRI Shapefile", false}, {"FlatGeobuf", false},
                              {"KML", false},  {"CSV", false},            {"GML", false},
                              {"GPKG", true},  {"ESRI Shapefile", true},  {"FlatGeobuf", true},
                              {"KML", true},   {"CSV", true},             {"GML", true}};
template <int I>
int write_listed(Run& run, const std::string& path) {
  return write_vector_output(run, path, kListed[I].driver, kListed[I].bands);
}

// The PDF printer's entry in libIsovarPdf.so, beside the library in ../lib;
// loaded on the first PDF, so other runs never load cairo.
using PrintPdf = bool (*)(const std::string*, const std::string*, std::string*, std::string*);

PrintPdf pdf_printer(std::string* failure) {
  static PrintPdf print = nullptr;
  if (print != nullptr) return print;
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string module = "libIsovarPdf.so";
  void* handle = nullptr;
  if (n > 0) {
    // Installed, the library folder of the installation; in the build tree,
    // ../lib.
    const std::string self(exe, static_cast<std::size_t>(n));
    const std::string folder = self.substr(0, self.find_last_of('/') + 1);
    for (const char* lib : {ISOVAR_BIN_TO_LIBDIR, "../lib"}) {
      module = folder + lib + "/libIsovarPdf.so";
      handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle != nullptr) break;
    }
  } else {
    handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle != nullptr) print = reinterpret_cast<PrintPdf>(dlsym(handle, "isovar_print_pdf"));
  if (print == nullptr) {
    const char* why = dlerror();
    *failure = "cannot load the PDF printer " + module + (why != nullptr ? std::string(": ") + why : std::string());
  }
  return print;
}

int write_pdf(Run& run, const std::string& path) {
  if (run.options.vector) {
    // The page the run drew on its surface beside the picture: exact paths,
    // text as text. cairo is in the drawing layer, loaded for this surface.
    std::size_t size = 0;
    const char* pdf = GetSurfacePdf(run.surface, &size);
    if (pdf == nullptr) return own_failure("cannot make the PDF page for " + shown(path));
    return put_output(path, pdf, size);
  }
  std::string failure;
  const PrintPdf print = pdf_printer(&failure);
  if (print == nullptr) return own_failure(failure);
  std::string pdf;
  std::string reason;
  const std::string creator = "isovar-plot";
  if (!print(&run.display_list, &creator, &pdf, &reason)) return own_failure("Printer cancel (" + reason + ")");
  return put_output(path, pdf.data(), pdf.size());
}

}  // namespace

// In the order a run writes them: the BMP first, which the run itself made.
const OutputFormat kOutputFormats[] = {
    {"bmp", ".bmp", &Options::bmp, write_bmp, nullptr},
    {"png", ".png", &Options::png, write_png, nullptr},
    {"svg", ".svg", &Options::svg, write_svg, nullptr},
    {"isolines", ".geojson", &Options::isolines, write_isolines, nullptr},
    {"bands", ".bands.geojson", &Options::bands, write_bands, nullptr},
    {"gpkg", ".gpkg", &Options::isolines_gpkg, write_listed<0>, kListed[0].driver},
    {"shp", ".shp", &Options::isolines_shp, write_listed<1>, kListed[1].driver},
    {"fgb", ".fgb", &Options::isolines_fgb, write_listed<2>, kListed[2].driver},
    {"kml", ".kml", &Options::isolines_kml, write_listed<3>, kListed[3].driver},
    {"csv", ".csv", &Options::isolines_csv, write_listed<4>, kListed[4].driver},
    {"gml", ".gml", &Options::isolines_gml, write_listed<5>, kListed[5].driver},
    {"bands-gpkg", ".bands.gpkg", &Options::bands_gpkg, write_listed<6>, kListed[6].driver},
    {"bands-shp", ".bands.shp", &Options::bands_shp, write_listed<7>, kListed[7].driver},
    {"bands-fgb", ".bands.fgb", &Options::bands_fgb, write_listed<8>, kListed[8].driver},
    {"bands-kml", ".bands.kml", &Options::bands_kml, write_listed<9>, kListed[9].driver},
    {"bands-csv", ".bands.csv", &Options::bands_csv, write_listed<10>, kListed[10].driver},
    {"bands-gml", ".bands.gml", &Options::bands_gml, write_listed<11>, kListed[11].driver},
    {"pdf", ".pdf", &Options::pdf, write_pdf, nullptr},
};
const int kOutputFormatCount = sizeof kOutputFormats / sizeof kOutputFormats[0];

}  // namespace isovar_plot
