#include "plotter.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/syscall.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "cp932.h"
#include "platform.h"
#include "png_encode.h"

namespace isovar_plot {

namespace {

constexpr const char* kRunLog = "isovar.log";        // in the private folder, for --log
constexpr const char* kDisplayList = "prtInfo.tmp";  // in the private folder, for --pdf

bool progress_shown = false;

// A path given to the library and the user's spelling of it, which its
// messages show.
using Spelling = std::pair<std::string, std::string>;

int own_failure(const std::string& text) {
  say("isovar-plot: " + text);
  return kExitFailure;
}

// The library's message (code page 932) in UTF-8, each path spelt as the
// user gave it.
std::string library_text(const char* err_msg, const std::vector<Spelling>& spellings) {
  std::string bytes = err_msg;
  for (const auto& [given, shown] : spellings) {
    if (given == shown || given.empty() || shown.empty()) continue;
    for (std::size_t at = 0; (at = bytes.find(given, at)) != std::string::npos; at += shown.size())
      bytes.replace(at, given.size(), shown);
  }
  std::string text = cp932::to_utf8(bytes);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// A library failure, after the name it concerns; when the library could not
// write a file (error is the system's reason), it is the tool's failure, and
// the reason follows the message. When the model passed a default table's
// size, a second line says how to lift it.
int library_failure(const std::string& name, const std::string& text, int error = 0) {
  if (error != 0) return own_failure(text + ": " + std::strerror(error));
  say(name + ": " + text);
  if (tableLimitReached() != 0) say(name + ": the model is larger than the default tables; --large lifts their limits");
  return kExitFailure;
}

// Writes a file the user named whole, or says why it could not.
int write_output(const std::string& path, const std::string& bytes) {
  int error = files::replace_file(path.c_str(), bytes.data(), bytes.size(), files::Target::kNamedByUser);
  return error == 0 ? kExitOk : own_failure(files::write_failure(path, error));
}

class Surface {
 public:
  // A surface that also records the picture as SVG when svg is set.
  Surface(int width, int height, bool svg)
      : hdc_(svg ? CreateSvgSurfaceDC(width, height) : CreateSurfaceDC(width, height)) {}
  ~Surface() {
    if (hdc_ != nullptr) DeleteDC(hdc_);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  HDC get() const { return hdc_; }

 private:
  HDC hdc_;
};

int save_png(HDC hdc, const std::string& path) {
  int w = 0, h = 0;
  const uint32_t* bits = GetSurfaceBits(hdc, &w, &h);
  if (bits == nullptr) return own_failure("cannot read the picture for " + path);
  std::string png;
  if (!encode_png(bits, w, h, &png)) return own_failure("cannot make the PNG picture for " + path);
  return write_output(path, png);
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
  if (n > 0) {
    const std::string self(exe, static_cast<std::size_t>(n));
    module = self.substr(0, self.find_last_of('/') + 1) + "../lib/" + module;
  }
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) print = reinterpret_cast<PrintPdf>(dlsym(handle, "isovar_print_pdf"));
  if (print == nullptr) {
    const char* why = dlerror();
    *failure = "cannot load the PDF printer " + module + (why != nullptr ? std::string(": ") + why : std::string());
  }
  return print;
}

int print_pdf(const std::string& display_list, const std::string& path) {
  std::string failure;
  const PrintPdf print = pdf_printer(&failure);
  if (print == nullptr) return own_failure(failure);
  std::string pdf;
  std::string reason;
  const std::string creator = "isovar-plot";
  if (!print(&display_list, &creator, &pdf, &reason)) return own_failure("Printer cancel (" + reason + ")");
  return write_output(path, pdf);
}

// The private folder of this process, for a signal that ends it: what a
// handler may use (no allocation), set while the folder exists.
int signal_folder_fd = -1;
char signal_folder[PATH_MAX];

// Removes every file of the folder (the run's files, and a write core's
// temporary file when the signal came during a write) and the folder, then
// ends the process as the signal would have. System calls only.
void remove_folder_and_die(int sig) {
  if (signal_folder_fd >= 0) {
    const int dir = openat(signal_folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    alignas(8) char entries[4096];
    long n;
    while (dir >= 0 && (n = syscall(SYS_getdents64, dir, entries, sizeof entries)) > 0) {
      for (long at = 0; at < n;) {
        // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
        unsigned short length;
        std::memcpy(&length, entries + at + 16, sizeof length);
        const char* name = entries + at + 19;
        if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))))
          unlinkat(signal_folder_fd, name, 0);
        at += length;
      }
    }
    if (dir >= 0) close(dir);
    rmdir(signal_folder);
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

void remove_folder(int folder_fd, const std::string& folder) {
  DIR* dir = fdopendir(dup(folder_fd));
  if (dir != nullptr) {
    while (const dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        unlinkat(folder_fd, entry->d_name, 0);
    }
    closedir(dir);
  }
  rmdir(folder.c_str());
}

}  // namespace

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
  if (folder_fd_ >= 0) {
    signal_folder_fd = -1;
    remove_folder(folder_fd_, folder_);
    close(folder_fd_);
  }
  if (home_fd_ >= 0) close(home_fd_);
}

void block_ending_signals(bool block, sigset_t* old) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kEndingSignals) sigaddset(&set, sig);
  sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, old);
}

std::string Plotter::start() {
  if (home_fd_ < 0) return std::string("cannot open the current folder: ") + std::strerror(errno);
  return {};
}

std::string Plotter::make_folder() {
  if (folder_fd_ >= 0) return {};
  // No signal between making the folder and being ready to remove it.
  sigset_t old;
  block_ending_signals(true, &old);
  struct Restore {
    sigset_t* mask;
    ~Restore() { sigprocmask(SIG_SETMASK, mask, nullptr); }
  } restore{&old};
  const char* tmp = std::getenv("TMPDIR");
  int error = 0;
  for (const char* base : {tmp, "/tmp"}) {
    if (base == nullptr || *base == '\0') continue;
    std::string pattern = std::string(base) + "/isovar-plot-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      error = errno;
      continue;
    }
    folder_fd_ = open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd_ < 0) {
      error = errno;
      rmdir(pattern.c_str());
      continue;
    }
    folder_ = absolute(pattern);
    if (folder_.size() < sizeof signal_folder) {
      std::memcpy(signal_folder, folder_.c_str(), folder_.size() + 1);
      signal_folder_fd = folder_fd_;
      for (int sig : kEndingSignals) signal(sig, remove_folder_and_die);
    }
    return {};
  }
  return std::string("cannot make a temporary folder: ") + std::strerror(error);
}

std::string Plotter::absolute(const std::string& path) const {
  return path.empty() || path[0] == '/' ? path : home_ + path;
}

int Plotter::plot(const Options& o) {
  const std::string& input = o.inputs.at(0);
  const std::string read_path = input == kStandardInput ? "/dev/stdin" : input;
  char err_msg[ISOVAR_ERRMSG_SIZE] = {};
  // The run log and a display list that only the PDF reads go to the private
  // folder, made when first needed; a run that needs neither makes none.
  // Logs nobody asked for go to /dev/null, which the write core writes
  // directly: no file to make, rename and remove.
  const bool pdf_list = !o.pdf.empty() && o.display_list.empty();
  if (!o.log.empty() || pdf_list) {
    const std::string failure = make_folder();
    if (!failure.empty()) return own_failure(failure);
  }
  setRunLog(o.log.empty() ? "/dev/null" : private_file(kRunLog).c_str());
  setLargeModels(o.large ? 1 : 0);
  setFillBands(o.fill ? 1 : 0);
  if (readData(read_path.c_str(), err_msg) != 0)
    return library_failure(input, library_text(err_msg, {{read_path, input}}));

  Surface surface(o.width, o.height, !o.svg.empty());
  if (surface.get() == nullptr)
    return own_failure("cannot make a picture of " + std::to_string(o.width) + "x" + std::to_string(o.height) +
                       " pixels");

  // Every path the library is given is absolute; its messages show them as
  // the user wrote them.
  const std::string display_list = !o.display_list.empty() ? absolute(o.display_list)
                                   : pdf_list               ? private_file(kDisplayList)
                                                            : std::string("/dev/null");
  const std::string bmp = absolute(o.bmp);
  const std::vector<Spelling> spellings = {{display_list, o.display_list}, {bmp, o.bmp}};
  // A library call, with the system's reason when it fails on a file.
  auto library_call = [&](auto call, int* error) {
    errno = 0;
    const int32_t r = call();
    *error = r != 0 ? errno : 0;
    return r;
  };

  int status = kExitOk;
  int error = 0;
  bool bmp_failed = false;
  std::string bmp_failure;
  int bmp_error = 0;
  if (!o.bmp.empty()) {
    const int32_t r = library_call(
        [&] { return saveBMP(err_msg, surface.get(), display_list.c_str(), bmp.c_str(), o.width, o.height); },
        &error);
    bmp_failed = r != 0;
    bmp_failure = library_text(err_msg, spellings);
    bmp_error = error;
  }
  if (o.bmp.empty() || bmp_failed) {
    // Without a BMP, or when it failed: the plot run alone tells whether the
    // run or the BMP failed.
    const int32_t r =
        library_call([&] { return isovarMain(err_msg, surface.get(), display_list.c_str(), o.width, o.height); }, &error);
    if (r != 0) return library_failure(input, library_text(err_msg, spellings), error);
    if (bmp_failed) status = library_failure(o.bmp, bmp_failure, bmp_error);
  }

  if (!o.png.empty() && save_png(surface.get(), o.png) != kExitOk) status = kExitFailure;
  if (!o.svg.empty()) {
    std::size_t size = 0;
    const char* svg = GetSurfaceSvg(surface.get(), &size);
    if (svg == nullptr) {
      status = own_failure("cannot make the SVG picture for " + o.svg);
    } else if (int e = files::replace_file(o.svg.c_str(), svg, size, files::Target::kNamedByUser)) {
      status = own_failure(files::write_failure(o.svg, e));
    }
  }
  if (!o.isolines.empty() && saveIsolines(err_msg, o.isolines.c_str()) != 0) {
    // The library's texts name no file: the tool names it.
    const int e = errno;
    status = e != 0 ? own_failure(files::write_failure(o.isolines, e))
                    : library_failure(o.isolines, library_text(err_msg, {}));
  }
  if (!o.bands.empty() && saveBands(err_msg, o.bands.c_str()) != 0) {
    const int e = errno;
    status = e != 0 ? own_failure(files::write_failure(o.bands, e))
                    : library_failure(o.bands, library_text(err_msg, {}));
  }
  if (!o.pdf.empty() &&
      print_pdf(o.display_list.empty() ? private_file(kDisplayList) : o.display_list, o.pdf) != kExitOk)
    status = kExitFailure;
  if (!o.log.empty() && save_log(o) != kExitOk) status = kExitFailure;
  return status;
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
