#include "plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>

#include "geodata.h"

namespace isovar_plot {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel follows in one path

// The current folder, with no closing '/' ("" when unknown).
std::string current_folder() {
  char cwd[PATH_MAX];
  return getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) : std::string();
}

// An absolute path without ".", ".." or repeated slashes, by its text alone.
std::string lexical(const std::string& path, const std::string& home) {
  const std::string whole = !path.empty() && path[0] == '/' ? path : home + "/" + path;
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= whole.size();) {
    std::size_t end = whole.find('/', at);
    if (end == std::string::npos) end = whole.size();
    const std::string part = whole.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

std::string folder_of(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

// What a file is, for telling whether two paths write one file.
struct FileKey {
  bool in_place = false;  // a device, pipe or folder: never in the way
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::string path;  // where it does not exist: its folder's real path and its name
  bool operator<(const FileKey& o) const {
    return std::tie(exists, dev, ino, path) < std::tie(o.exists, o.dev, o.ino, o.path);
  }
};

// A file that is not there yet (or a link that is replaced), by its folder's
// real path and its name.
FileKey key_of_missing(const std::string& path) {
  FileKey key;
  char real[PATH_MAX];
  const std::string folder = folder_of(path);
  key.path = realpath(folder.empty() ? "/" : folder.c_str(), real) != nullptr
                 ? std::string(real) + path.substr(folder.size())
                 : path;
  return key;
}

// follow: whether a link at path is written through (to the file it names,
// even one that does not exist yet), as for the outputs the user names, or
// replaced, as the display list and the run log are.
FileKey key_of(const std::string& given, const std::string& home, bool follow = true) {
  FileKey key;
  std::string path = lexical(given, home);
  struct stat st;
  for (int hops = 0; hops < kMaxLinks && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hops) {
    if (!follow) return key_of_missing(path);
    char link[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
    if (n <= 0) break;
    path = lexical(std::string(link, static_cast<std::size_t>(n)), folder_of(path));
  }
  if (stat(path.c_str(), &st) == 0) {
    key.exists = true;
    key.in_place = !S_ISREG(st.st_mode);
    key.dev = st.st_dev;
    key.ino = st.st_ino;
    return key;
  }
  return key_of_missing(path);
}

FileKey input_key(const std::string& input, const std::string& home) {
  if (input != kStandardInput) return key_of(input, home);
  FileKey key;
  struct stat st;
  key.in_place = fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode);
  key.exists = !key.in_place;
  key.dev = st.st_dev;
  key.ino = st.st_ino;
  return key;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// The options that name a file of their own in a run: each output's (the
// ones only --format gives, as "--format gpkg"), the display list and the
// run log.
struct Named {
  std::string option;
  std::string Options::*path;
  const char* driver;  // a vector output's, or nullptr
};
std::vector<Named> named_files() {
  std::vector<Named> named;
  for (int f = 0; f < kOutputFormatCount; ++f) {
    const OutputFormat& format = kOutputFormats[f];
    const bool own_option = format.driver == nullptr;
    named.push_back({(own_option ? "--" : "--format ") + std::string(format.name), format.path, format.driver});
  }
  named.push_back({"--display-list", &Options::display_list, nullptr});
  named.push_back({"--log", &Options::log, nullptr});
  return named;
}

// The files an output makes: a Shapefile's side files too.
std::vector<std::string> files_of(const Options& run, const Named& named, const std::string& path) {
  std::string driver = named.driver != nullptr ? named.driver : "";
  if (named.path == &Options::isolines || named.path == &Options::bands) {
    std::string error;
    driver = vector_driver(path, run.vector_format, &error);
  }
  return driver.empty() ? std::vector<std::string>{path} : vector_files(path, driver);
}

// The outputs of the runs against the inputs and each other; describe names
// an output of a run for the message.
template <typename Describe>
std::string check_files(const std::vector<Options>& runs, const std::string& home, Describe describe) {
  std::map<FileKey, std::string> inputs;
  for (const Options& run : runs) {
    const FileKey key = input_key(run.inputs[0], home);
    if (!key.in_place) inputs.emplace(key, run.inputs[0]);
  }
  std::map<FileKey, std::string> written;
  const std::vector<Named> all_named = named_files();
  for (const Options& run : runs) {
    for (const Named& named : all_named) {
      const std::string& path = run.*(named.path);
      const bool own_name = named.path == &Options::display_list || named.path == &Options::log;
      if (path.empty() || (path == kStandardOutput && !own_name)) continue;
      for (const std::string& file : files_of(run, named, path)) {
        const FileKey key = key_of(file, home, !own_name);
        if (key.in_place) continue;
        std::string what = describe(run, named.option.c_str(), path);
        if (file != path) what += " (its " + quoted(file) + ")";
        const auto input = inputs.find(key);
        if (input != inputs.end()) return what + " would replace the input " + quoted(input->second);
        const auto [earlier, fresh] = written.emplace(key, what);
        if (!fresh) return earlier->second + " and " + what + " would write the same file";
      }
    }
  }
  return {};
}

}  // namespace

std::string check_single_run(const Options& o) {
  return check_files({o}, current_folder(), [](const Options&, const char* option, const std::string& path) {
    return std::string(option) + " " + quoted(path);
  });
}

std::string plan_batch(const Options& o, std::vector<Options>* runs) {
  const std::string home = current_folder();
  const std::string dir = o.outdir + (o.outdir.back() == '/' ? "" : "/");
  // The inputs' folders under the current one, for --keep-tree.
  const std::string top = lexical(".", home);
  const std::string prefix = top == "/" ? top : top + "/";
  auto under_top = [&](const std::string& folder) {
    return folder == top || folder.compare(0, prefix.size(), prefix) == 0;
  };
  // Each input's folder and NAME.
  std::vector<std::string> stems;
  std::set<std::string> own;
  for (const std::string& input : o.inputs) {
    std::string folder;
    if (o.keep_tree) {
      const std::size_t slash = input.find_last_of('/');
      std::string from = lexical(slash == std::string::npos ? "." : input.substr(0, slash + 1), home);
      char real[PATH_MAX];
      if (!under_top(from) && realpath(from.c_str(), real) != nullptr) from = real;
      if (!under_top(from)) return "--keep-tree: " + quoted(input) + " is not under the current folder";
      if (from != top) folder = from.substr(prefix.size()) + "/";
    }
    stems.push_back(dir + folder + output_name(input));
    own.insert(stems.back());
  }
  // Renamed in the order given.
  std::set<std::string> taken;
  runs->clear();
  for (std::size_t i = 0; i < o.inputs.size(); ++i) {
    std::string stem = stems[i];
    for (int n = 2; taken.count(stem) > 0; ++n) {
      stem = stems[i] + "-" + std::to_string(n);
      while (own.count(stem) > 0) stem = stems[i] + "-" + std::to_string(++n);
    }
    taken.insert(stem);
    Options run = o;
    run.inputs = {o.inputs[i]};
    run.outdir.clear();
    for (const std::string& name : o.formats)
      for (int f = 0; f < kOutputFormatCount; ++f)
        if (name == kOutputFormats[f].name) run.*(kOutputFormats[f].path) = stem + kOutputFormats[f].extension;
    runs->push_back(std::move(run));
  }
  return check_files(*runs, home, [&](const Options& run, const char* option, const std::string& path) {
    std::string what = quoted(path) + " (";
    for (int f = 0; f < kOutputFormatCount; ++f)
      if (&(run.*(kOutputFormats[f].path)) == &path) what += std::string("the ") + kOutputFormats[f].name + " of ";
    if (what.back() == '(') what += std::string(option) + " of ";
    return what + quoted(run.inputs[0]) + ")";
  });
}

std::vector<std::string> plan_lines(const std::vector<Options>& runs) {
  std::vector<std::string> lines;
  for (const Options& run : runs) {
    std::string line = run.inputs[0] + " ->";
    for (int f = 0; f < kOutputFormatCount; ++f) {
      const std::string& path = run.*(kOutputFormats[f].path);
      if (!path.empty()) line += " " + path;
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace isovar_plot
