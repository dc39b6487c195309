#include "window_files.h"

#include <cstdlib>

const char* const kWindowFolderPrefix = "isovar-window-";

std::vector<std::string> WindowFiles::defaultBases() {
  std::vector<std::string> bases;
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/') continue;
    std::string base(value);
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    bases.push_back(base);
  }
  bases.emplace_back("/tmp");
  return bases;
}

int WindowFiles::make(const std::vector<std::string>& bases) {
  for (size_t i = 0; i < bases.size(); ++i) {
    bool seen = false;
    for (size_t j = 0; j < i; ++j) seen = seen || bases[j] == bases[i];
    if (!seen) removeStaleWindowFolders(bases[i]);
  }
  return folder_.make(bases, kWindowFolderPrefix);
}
