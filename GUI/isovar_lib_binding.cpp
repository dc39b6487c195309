#include "isovar_lib_binding.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

const char* const kIsovarLibName = "libIsovarLib.so";
// From the install rules' library folder (GNUInstallDirs) at configure time.
const char* const kInstalledLibDir = ISOVAR_INSTALLED_LIBDIR;

std::string executable_dir() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string exe(path, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash == 0 ? 1 : slash);
}

std::vector<std::string> isovar_lib_candidates(const std::string& exe_dir) {
  std::vector<std::string> paths;
  if (!exe_dir.empty()) {
    paths.push_back(exe_dir + "/" + kIsovarLibName);
    paths.push_back(exe_dir + "/../lib/" + kIsovarLibName);
    if (std::string(kInstalledLibDir) != "../lib")
      paths.push_back(exe_dir + "/" + kInstalledLibDir + "/" + kIsovarLibName);
  }
  paths.push_back(kIsovarLibName);
  return paths;
}

namespace {

template <typename Fn>
bool find_function(void* handle, const char* name, Fn* fn, std::string* error) {
  dlerror();
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    const char* text = dlerror();
    *error = text != nullptr ? text : std::string("undefined symbol: ") + name;
    return false;
  }
  *fn = reinterpret_cast<Fn>(symbol);
  return true;
}

}  // namespace

bool bind_isovar_lib(const std::string& path, IsovarLibBinding* binding, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = dlerror();
    *error = text != nullptr ? text : path + ": cannot be loaded";
    return false;
  }
  IsovarLibBinding found;
  if (!find_function(handle, "readData", &found.readData, error) ||
      !find_function(handle, "isovarMain", &found.isovarMain, error) ||
      !find_function(handle, "saveBMP", &found.saveBMP, error) ||
      !find_function(handle, "currentDir", &found.currentDir, error)) {
    dlclose(handle);
    return false;
  }
  std::string absent;
  find_function(handle, "setLargeModels", &found.setLargeModels, &absent);
  find_function(handle, "tableLimitReached", &found.tableLimitReached, &absent);
  find_function(handle, "setFillBands", &found.setFillBands, &absent);
  find_function(handle, "setRunLog", &found.setRunLog, &absent);
  find_function(handle, "setPictureStyle", &found.setPictureStyle, &absent);
  // The handle stays open for the life of the process: the library's tables
  // are the program's model.
  *binding = found;
  return true;
}

bool load_isovar_lib(const std::string& exe_dir, IsovarLibBinding* binding, std::string* error) {
  for (const std::string& path : isovar_lib_candidates(exe_dir)) {
    bool bare_name = path.find('/') == std::string::npos;
    if (bare_name || access(path.c_str(), F_OK) == 0) return bind_isovar_lib(path, binding, error);
  }
  return false;  // not reached: the bare name is always the last candidate
}
