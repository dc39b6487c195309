#include "plotter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "cp932.h"
#include "diagnosis.h"
#include "ending.h"
#include "findings.h"
#include "geodata.h"
#include "platform.h"

namespace isovar_plot {

namespace {

// The picture's key, axes, colour map and labels as the options ask.
IsovarPictureStyle picture_style(const Options& o) {
  const int32_t key = o.key.empty() ? ISOVAR_KEY_NONE : o.key == "below" ? ISOVAR_KEY_BELOW : ISOVAR_KEY_RIGHT;
  const int32_t labels = o.labels == "inline"   ? ISOVAR_LABELS_INLINE
                         : o.labels == "uphill" ? ISOVAR_LABELS_UPHILL
                                                : ISOVAR_LABELS_AT_ENDS;
  return IsovarPictureStyle{key,    o.axes ? 1 : 0,  isovarColormapNamed(o.colormap.c_str()), o.center,
                            labels, o.label_spacing, o.index,                                 o.halo ? 1 : 0,
                            o.outline ? 1 : 0};
}

// In the private folder: the display list and the run log unless the options
// name them, standard input kept for a second reading, and what
// warn_when_empty traces.
constexpr const char* kRunLog = "isovar.log";
constexpr const char* kDisplayList = "prtInfo.tmp";
constexpr const char* kKeptInput = "standard-input.isovar";
constexpr const char* kCheckIsolines = "check.geojson";
constexpr const char* kCheckBands = "check.bands.geojson";

bool progress_shown = false;

// Whether a vector output needs the model read again as an object: one the
// library's GeoJSON writer cannot make.
bool vector_needs_objects(const Options& o) {
  bool geojson = false;
  for (int i = 0; i < kOutputFormatCount; ++i) {
    const OutputFormat& f = kOutputFormats[i];
    const std::string& path = o.*(f.path);
    if (path.empty()) continue;
    if (f.driver != nullptr) return true;
    if (f.path != &Options::isolines && f.path != &Options::bands) continue;
    std::string error;
    if (!is_geojson(vector_driver(path, o.vector_format, &error))) return true;
    geojson = true;
  }
  std::string error;
  return geojson && !o.source.crs.empty() && !crs_is_none_or_wgs84(crs_from_text(o.source.crs, &error));
}

}  // namespace

int own_failure(const std::string& text) {
  say("isovar-plot: " + text);
  return kExitFailure;
}

// The library's message (code page 932) in UTF-8, each path spelt as the
// user gave it.
std::string library_text(const char* err_msg, const std::vector<Spelling>& spellings) {
  std::string bytes = err_msg;
  while (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
  std::string text;
  // From at on: the earliest path in the message, the text before it
  // converted.
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t found = std::string::npos;
    const Spelling* which = nullptr;
    for (const Spelling& spelling : spellings) {
      if (spelling.first.empty() || spelling.second.empty()) continue;
      const std::size_t here = bytes.find(spelling.first, at);
      if (here < found || (here == found && here != std::string::npos && spelling.first.size() > which->first.size())) {
        found = here;
        which = &spelling;
      }
    }
    text += printable(cp932::to_utf8(bytes.substr(at, found == std::string::npos ? found : found - at)));
    if (which == nullptr) break;
    text += which->second;
    at = found + which->first.size();
  }
  return text;
}

// A library failure, after the name it concerns; when the library could not
// write a file (error is the system's reason), it is the tool's failure, and
// the reason follows on a line of its own.
int library_failure(const std::string& name, const std::string& text, int error, const std::vector<std::string>& why) {
  if (error != 0) {
    say("isovar-plot: " + text);
    return own_failure(files::write_failure(name, error));
  }
  say(name + ": " + text);
  for (const std::string& line : why) say(name + ": " + line);
  if (tableLimitReached() != 0) say(name + ": the model is larger than the default tables; --large lifts their limits");
  return kExitFailure;
}

std::vector<std::string> temporary_prefixes(const Options& o) {
  std::vector<std::string> prefixes;
  for (int i = 0; i < kOutputFormatCount; ++i) {
    const std::string& path = o.*(kOutputFormats[i].path);
    if (!path.empty() && path != kStandardOutput)
      prefixes.push_back(files::temporary_prefix(path.c_str(), files::Target::kNamedByUser));
  }
  // The library writes the display list, and the plotter the run log, under
  // names of their own.
  for (const std::string* path : {&o.display_list, &o.log})
    if (!path->empty()) prefixes.push_back(files::temporary_prefix(path->c_str(), files::Target::kFixedName));
  return prefixes;
}

void remove_what_ended_runs_left(const std::vector<Options>& runs) {
  for (const std::string& base : plot_folder_bases()) remove_stale_plot_folders(base);
  std::vector<std::string> prefixes;
  for (const Options& o : runs) {
    const std::vector<std::string> more = temporary_prefixes(o);
    prefixes.insert(prefixes.end(), more.begin(), more.end());
  }
  files::remove_stale_temporaries(prefixes);
  // The vector outputs' temporary folders, which OGR fills.
  for (const Options& o : runs)
    for (int i = 0; i < kOutputFormatCount; ++i) {
      const std::string& path = o.*(kOutputFormats[i].path);
      const bool vector = kOutputFormats[i].driver != nullptr || kOutputFormats[i].path == &Options::isolines ||
                          kOutputFormats[i].path == &Options::bands;
      if (vector && !path.empty() && path != kStandardOutput) remove_stale_vector_folders(path);
    }
}

void say(const std::string& line) {
  std::string text = (progress_shown ? "\r\033[K" : "") + line + "\n";
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = write(STDERR_FILENO, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void set_progress_shown(bool shown) { progress_shown = shown; }

Plotter::Plotter() {
  home_fd_ = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) != nullptr) {
    home_ = cwd;
  } else if (home_fd_ >= 0) {
    home_ = "/proc/self/fd/" + std::to_string(home_fd_);
  }
  if (home_.empty() || home_.back() != '/') home_ += '/';
}

Plotter::~Plotter() {
  watch_outputs({});
  watch_private_folder(-1, {});
  folder_.remove();
  if (home_fd_ >= 0) close(home_fd_);
}

std::string Plotter::start() {
  if (home_fd_ < 0) return std::string("cannot open the current folder: ") + std::strerror(errno);
  return {};
}

std::string Plotter::make_folder() {
  if (folder_.fd() >= 0) return {};
  // No signal between making the folder and being ready to remove it.
  sigset_t old;
  block_ending_signals(true, &old);
  const int error = folder_.make(plot_folder_bases(), home_);
  if (error == 0) watch_private_folder(folder_.fd(), folder_.path());
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return error == 0 ? std::string() : std::string("cannot make a temporary folder: ") + std::strerror(error);
}

std::string Plotter::absolute(const std::string& path) const {
  return path.empty() || path[0] == '/' ? path : home_ + path;
}

class Plotter::Surface {
 public:
  // A surface that also records the picture as SVG when the options ask for
  // one; antialiased or scaled as they say.
  Surface(int width, int height, const Options& o) : hdc_(make(width, height, o)) {}
  ~Surface() {
    if (hdc_ != nullptr) DeleteDC(hdc_);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  HDC get() const { return hdc_; }
  // Why a surface for the options could not be made.
  static std::string failure(const Options& o) {
    std::string why = "cannot make a picture of " + std::to_string(o.width) + "x" + std::to_string(o.height) + " pixels";
    if (o.antialias || o.scale != 1.0 || o.vector)
      why += " (--antialias, --scale and --vector draw through cairo, libcairo.so.2: is it installed?)";
    return why;
  }

 private:
  static HDC make(int width, int height, const Options& o) {
    const bool svg = !o.svg.empty();
    if (!o.antialias && o.scale == 1.0 && !o.vector)
      return svg ? CreateSvgSurfaceDC(width, height) : CreateSurfaceDC(width, height);
    return CreateSurfaceDCWith(width, height, o.scale,
                               (svg ? ISOVAR_SURFACE_SVG : 0u) | (o.antialias ? ISOVAR_SURFACE_ANTIALIAS : 0u) |
                                   (o.vector ? ISOVAR_SURFACE_PDF : 0u));
  }
  HDC hdc_;
};

std::string Run::private_file(const char* name) const { return plotter_.private_file(name); }

int Run::save_with_library(int32_t (*save)(char*, const char*), const std::string& path, const std::string& shown) {
  for (;;) {
    char err_msg[ISOVAR_ERRMSG_SIZE] = {};
    errno = 0;
    if (save(err_msg, path.c_str()) == 0) return kExitOk;
    // The library's texts name no file: the tool names it.
    const int error = errno;
    if (error != 0) return own_failure(files::write_failure(shown, error));
    const std::string text = library_text(err_msg, {});
    const int large = tableLimitReached() != 0 ? plotter_.go_large(text) : -1;
    if (large == kExitOk) continue;
    return large == kExitFailure ? kExitFailure : library_failure(shown, text);
  }
}

bool Run::ready() {
  char err_msg[ISOVAR_ERRMSG_SIZE] = {};
  const std::string& input = options.inputs.at(0);
  if (model_ == nullptr) {
    // A model file, read again as an object; large tables give the same
    // results for a model the default ones hold.
    ModelPtr model(isovarModelNew());
    if (model == nullptr) {
      own_failure("not enough memory for a second reading of " + input);
      return false;
    }
    if (isovarModelRead(model.get(), plotter_.read_path_.c_str(), 1, err_msg) != 0) {
      library_failure(input, library_text(err_msg, {{plotter_.read_path_, input}}));
      return false;
    }
    model_ = std::move(model);
  }
  if (run_ == nullptr) run_.reset(isovarRunNew());
  if (run_ == nullptr) {
    own_failure("not enough memory for a run of " + input);
    return false;
  }
  isovarRunSetThreads(run_.get(), options.threads);
  return true;
}

std::string Run::stream_lines(const LineTaker& take) {
  struct Taking {
    const LineTaker& take;
    std::string why;
  } taking{take, {}};
  auto sink = [](void* user, int32_t level, int32_t closed, int32_t count, const double* xy) -> int32_t {
    auto* t = static_cast<Taking*>(user);
    t->why = t->take(level, closed, count, xy);
    return t->why.empty() ? 0 : 1;
  };
  char err_msg[ISOVAR_ERRMSG_SIZE] = {};
  traced_ = pieces_ = merged_ = false;
  if (isovarRunTraceLines(run_.get(), model_.get(), sink, &taking, err_msg) == 0) return {};
  return !taking.why.empty() ? taking.why : options.inputs.at(0) + ": " + library_text(err_msg, {});
}

const IsovarRun* Run::traced(bool bands) {
  char err_msg[ISOVAR_ERRMSG_SIZE] = {};
  const std::string& input = options.inputs.at(0);
  if (!ready()) return nullptr;
  if (!traced_ || (bands && !pieces_)) {
    traced_ = pieces_ = merged_ = false;
    if (isovarRunTrace(run_.get(), model_.get(), bands ? 1 : 0, err_msg) != 0) {
      library_failure(input, library_text(err_msg, {}));
      return nullptr;
    }
    traced_ = true;
    pieces_ = bands;
  }
  if (bands && !merged_) {
    if (isovarRunBands(run_.get(), err_msg) != 0) {
      library_failure(input, library_text(err_msg, {}));
      return nullptr;
    }
    merged_ = true;
  }
  return run_.get();
}

bool Run::crs(std::string* wkt) {
  if (!crs_known_) {
    std::string error;
    const std::string& input = options.inputs.at(0);
    if (!options.source.crs.empty()) {
      crs_wkt_ = crs_from_text(options.source.crs, &error);
      if (crs_wkt_.empty()) return own_failure("--crs '" + options.source.crs + "': " + error), false;
    } else if (!direct && input != kStandardInput) {
      // MODEL.prj beside the model, as isovar-convert writes it.
      const std::size_t slash = input.find_last_of('/');
      const std::string prj =
          (slash == std::string::npos ? std::string() : input.substr(0, slash + 1)) + output_name(input) + ".prj";
      std::FILE* file = std::fopen(prj.c_str(), "rb");
      if (file != nullptr) {
        std::string text;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, file)) > 0 && text.size() < (1u << 20);)
          text.append(buf, n);
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
        if (!failed) crs_wkt_ = crs_from_text(text, &error, false);
        if (failed || crs_wkt_.empty())
          return own_failure("cannot read the CRS in " + prj + ": " + (failed ? "read error" : error) +
                             " (--crs gives it)"),
                 false;
      } else if (errno != ENOENT) {
        return own_failure("cannot read " + prj + ": " + std::strerror(errno)), false;
      }
    }
    crs_known_ = true;
  }
  *wkt = crs_wkt_;
  return true;
}

int Plotter::go_large(const std::string& text) {
  if (!may_go_large_) return -1;
  may_go_large_ = false;
  std::string reason = text;
  while (!reason.empty() && reason.back() == ' ') reason.pop_back();
  say(input_ + ": larger than the default tables, plotted in large mode: " + reason);
  setLargeModels(1);
  char err_msg[ISOVAR_ERRMSG_SIZE] = {};
  if (readData(read_path_.c_str(), err_msg) != 0) return read_failure(library_text(err_msg, {{read_path_, input_}}));
  return kExitOk;
}

int Plotter::read_failure(const std::string& text) {
  // Standard input not kept cannot be looked at again.
  const std::string look_at = read_path_ == "/dev/stdin" ? std::string() : read_path_;
  return library_failure(input_, text, 0, explain_refused_input(look_at, input_, text));
}

int Plotter::keep_standard_input() {
  files::AtomicFile kept;
  const std::string path = private_file(kKeptInput);
  if (int error = kept.open(path.c_str(), files::Target::kFixedName))
    return own_failure(files::write_failure(path, error));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return own_failure(std::string("cannot read standard input: ") + std::strerror(errno));
    if (n == 0) break;
    kept.write(buffer, static_cast<std::size_t>(n));
  }
  if (int error = kept.commit()) return own_failure(files::write_failure(path, error));
  read_path_ = path;
  return kExitOk;
}

int Plotter::read(const Options& o) {
  setLargeModels(o.large ? 1 : 0);
  setThreads(o.threads);
  may_go_large_ = !o.large && !o.strict;
  // Standard input can be read once: kept, it can be read again in large mode.
  // So can it for the vector outputs, which read it into an object.
  const bool again = may_go_large_ || vector_needs_objects(o);
  if (input_ == kStandardInput && again && keep_standard_input() != kExitOk) return kExitFailure;
  char err_msg[ISOVAR_ERRMSG_SIZE] = {};
  if (readData(read_path_.c_str(), err_msg) == 0) return kExitOk;
  const std::string text = library_text(err_msg, {{read_path_, input_}});
  const int large = tableLimitReached() != 0 ? go_large(text) : -1;  // which reads it again
  return large == -1 ? read_failure(text) : large;
}

int Plotter::run(const Options& o, Run& run, std::unique_ptr<Surface>& surface) {
  // Every path the library is given is absolute; its messages show them as
  // the user wrote them. A display list the options do not name goes to the
  // private folder, where warn_when_empty reads it, or to /dev/null when it
  // cannot be written there and no PDF needs it: a full temporary folder
  // fails no picture.
  const bool list_needed = !o.display_list.empty() || !o.pdf.empty();
  run.display_list = !o.display_list.empty() ? absolute(o.display_list) : private_file(kDisplayList);
  if (run.display_list.empty()) run.display_list = "/dev/null";
  run.bmp = o.bmp.empty()                  ? std::string()
            : o.bmp == kStandardOutput ? private_file("picture.bmp")
                                           : absolute(o.bmp);
  // A path in the private folder is shown as it is, but not decoded either.
  const std::vector<Spelling> spellings = {
      {run.display_list, o.display_list.empty() ? run.display_list : o.display_list},
      {run.bmp, o.bmp == kStandardOutput ? "standard output" : o.bmp}};
  // A library call, with the system's reason when it fails on a file.
  auto library_call = [&](auto call, int* error) {
    errno = 0;
    const int32_t r = call();
    *error = r != 0 ? errno : 0;
    return r;
  };
  for (;;) {
    surface = std::make_unique<Surface>(o.width, o.height, o);
    run.surface = surface->get();
    if (run.surface == nullptr)
      return own_failure(Surface::failure(o));
    char err_msg[ISOVAR_ERRMSG_SIZE] = {};
    int error = 0;
    run.bmp_failure.clear();
    if (!run.bmp.empty()) {
      const int32_t r = library_call(
          [&] {
            return saveBMP(err_msg, run.surface, run.display_list.c_str(), run.bmp.c_str(), o.width, o.height);
          },
          &error);
      if (r == 0) return kExitOk;
      // The plot run alone tells whether the run or the BMP failed.
      run.bmp_failure = library_text(err_msg, spellings);
      run.bmp_error = error;
    }
    const int32_t r = library_call(
        [&] { return isovarMain(err_msg, run.surface, run.display_list.c_str(), o.width, o.height); }, &error);
    if (r == 0) return kExitOk;
    if (error != 0 && !list_needed && run.display_list != "/dev/null") {
      run.display_list = "/dev/null";
      continue;
    }
    const std::string text = library_text(err_msg, spellings);
    const int large = error == 0 && tableLimitReached() != 0 ? go_large(text) : -1;
    if (large == kExitOk) continue;
    if (large == kExitFailure) return kExitFailure;
    // A file the run could not write is the display list.
    return library_failure(error != 0 ? (o.display_list.empty() ? run.display_list : o.display_list) : input_, text,
                           error);
  }
}

int Plotter::plot(const Options& o) {
  input_ = o.inputs.at(0);
  read_path_ = input_ == kStandardInput ? "/dev/stdin" : input_;
  // The display list (unless named), the run log for --log and standard
  // input kept go to the private folder. Logs nobody asked for go to
  // /dev/null, which the write core writes directly: no file to make,
  // rename and remove.
  const bool folder_needed = !o.log.empty() || (!o.pdf.empty() && o.display_list.empty()) ||
                             input_ == kStandardInput || o.bmp == kStandardOutput ||
                             o.isolines == kStandardOutput || o.bands == kStandardOutput;
  const InputKind kind = input_kind(input_, o.source);
  const std::string failure = make_folder();
  if (!failure.empty() && folder_needed) return own_failure(failure);
  // A signal meanwhile takes the outputs' temporary files with it.
  watch_outputs(temporary_prefixes(o));
  struct Unwatch {
    ~Unwatch() { watch_outputs({}); }
  } unwatch;
  const IsovarPictureStyle style = picture_style(o);
  if (setPictureStyle(&style) != 0) return own_failure("the picture style was refused: " + o.colormap);
  Run run(*this, o);
  std::unique_ptr<Surface> surface;
  if (kind != InputKind::kModel) {
    if (plot_direct(o, kind, run, surface) != kExitOk) return kExitFailure;
  } else {
    // What only a raster, table or mesh takes.
    for (const std::string& given : o.source.given)
      if (given != "--crs")
        return own_failure(input_ + ": " + given + " is for a raster, table or mesh plotted directly; " +
                           "a model file has its levels and titles");
    setRunLog(o.log.empty() ? "/dev/null" : private_file(kRunLog).c_str());
    setFillBands(o.fill ? 1 : 0);
    if (read(o) != kExitOk) return kExitFailure;
    if (this->run(o, run, surface) != kExitOk) return kExitFailure;
    warn_when_empty(run);
  }

  int status = kExitOk;
  for (int i = 0; i < kOutputFormatCount; ++i) {
    const std::string& path = o.*(kOutputFormats[i].path);
    if (!path.empty() && kOutputFormats[i].write(run, path) != kExitOk) status = kExitFailure;
  }
  if (!o.log.empty() && save_log(o) != kExitOk) status = kExitFailure;
  return status;
}

int Plotter::plot_direct(const Options& o, InputKind kind, Run& run, std::unique_ptr<Surface>& surface) {
  if (!o.log.empty())
    say(input_ + ": warning: no run log for a raster, table or mesh plotted directly (a model file made by "
                 "isovar-convert has one)");
  DirectModel direct;
  // Its progress line, unless a batch shows its own.
  const bool progress = isatty(STDERR_FILENO) != 0 && !progress_shown;
  const std::string failure = load_direct(input_, kind, o.source, progress, &direct);
  if (!failure.empty()) {
    say(input_ + ": " + failure);
    return kExitFailure;
  }
  for (const std::string& note : direct.notes) say(input_ + ": note: " + note);
  run.direct = true;
  run.model_ = std::move(direct.model);
  if (o.source.crs.empty()) {
    run.crs_wkt_ = direct.crs_wkt;
    run.crs_known_ = true;
  }
  run.run_.reset(isovarRunNew());
  if (run.run_ == nullptr) return own_failure("not enough memory for a run of " + input_);
  isovarRunSetFill(run.run_.get(), o.fill ? 1 : 0);
  isovarRunSetThreads(run.run_.get(), o.threads);
  const IsovarPictureStyle style = picture_style(o);
  if (isovarRunSetStyle(run.run_.get(), &style) != 0) return own_failure("the picture style was refused: " + o.colormap);
  const bool picture = !o.bmp.empty() || !o.png.empty() || !o.svg.empty() || !o.pdf.empty() || !o.display_list.empty();
  if (!picture) return kExitOk;  // the vector outputs trace it

  // The display list where the options name it, or in the private folder for
  // a PDF; none otherwise.
  char err_msg[ISOVAR_ERRMSG_SIZE] = {};
  if (!o.display_list.empty()) {
    run.display_list = absolute(o.display_list);
  } else if (!o.pdf.empty()) {
    run.display_list = private_file(kDisplayList);
    if (run.display_list.empty()) return own_failure("no temporary folder for the display list of the PDF");
  }
  surface = std::make_unique<Surface>(o.width, o.height, o);
  run.surface = surface->get();
  if (run.surface == nullptr)
    return own_failure(Surface::failure(o));
  errno = 0;
  if (isovarRunDraw(run.run_.get(), run.model_.get(), run.surface, o.width, o.height,
                    run.display_list.empty() ? nullptr : run.display_list.c_str(), err_msg) != 0) {
    const int error = errno;
    const std::string shown_list = o.display_list.empty() ? run.display_list : o.display_list;
    return library_failure(error != 0 ? shown_list : input_,
                           library_text(err_msg, {{run.display_list, shown_list}}), error);
  }
  run.traced_ = true;
  if (!o.bmp.empty()) {
    run.bmp = o.bmp == kStandardOutput ? private_file("picture.bmp") : absolute(o.bmp);
    errno = 0;
    if (isovarRunSaveBMP(run.run_.get(), run.surface, run.bmp.c_str(), err_msg) != 0) {
      run.bmp_error = errno;
      run.bmp_failure = library_text(err_msg, {{run.bmp, o.bmp == kStandardOutput ? "standard output" : o.bmp}});
    }
  }
  if (isovarRunLineCount(run.run_.get()) == 0)
    say(input_ + ": warning: no level meets the model's values: the plot holds no isoline");
  return kExitOk;
}

// Says when the picture holds no isoline: the levels meet none of the values,
// or the model has none. An isoline label in the display list shows there is
// an isoline at little cost; without one, the isolines and then the bands are
// traced into the private folder and counted. Nothing is said when that
// cannot be learnt.
void Plotter::warn_when_empty(const Run& run) {
  if (display_list_has_label(run.display_list) == Found::kYes) return;
  char err_msg[ISOVAR_ERRMSG_SIZE];
  const std::string isolines = private_file(kCheckIsolines);
  const int polylines = saveIsolines(err_msg, isolines.c_str()) == 0 ? count_features(isolines, 1) : -1;
  unlink(isolines.c_str());
  if (polylines != 0) return;
  const std::string bands = private_file(kCheckBands);
  BandsFound found;
  if (saveBands(err_msg, bands.c_str()) == 0) {
    found = find_bands(bands);
  } else if (errno == 0 && tableLimitReached() != 0) {
    found.bands = -2;  // band pieces past the default table: there are values
  }
  unlink(bands.c_str());
  if (found.bands == 0) {
    say(input_ + ": warning: the model has no values to trace (every value is undefined, or none fills a whole "
                 "cell): the plot holds no isoline");
  } else if (found.bands != -1) {
    say(input_ + ": warning: no level meets the model's values" + found.where + ": the plot holds no isoline");
  }
}

// The run log, from the private folder to where --log names it. The library
// keeps it open for the reads that follow a run: its buffer is written out
// first.
int Plotter::save_log(const Options& o) {
  std::fflush(nullptr);
  std::FILE* log = std::fopen(private_file(kRunLog).c_str(), "rb");
  if (log == nullptr) return kExitOk;  // the library skipped it
  std::string bytes;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, log)) > 0;) bytes.append(buf, n);
  std::fclose(log);
  const int error = files::replace_file(o.log.c_str(), bytes.data(), bytes.size(), files::Target::kFixedName);
  return error == 0 ? kExitOk : own_failure(files::write_failure(o.log, error));
}

}  // namespace isovar_plot
