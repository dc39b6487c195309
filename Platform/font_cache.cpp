#include "font_cache.h"

#include "fontconfig_api.h"
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "atomic_file.h"

namespace plat {

namespace {

constexpr const char* kHeader = "isovar font cache 1";

// What the answer depends on besides the files: the query and the variables
// that steer fontconfig.
std::string full_key(const std::string& key) {
  std::string text = key;
  for (const char* name : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT", "HOME", "XDG_CONFIG_HOME",
                           "XDG_DATA_HOME", "LANG", "LC_ALL", "LC_CTYPE"}) {
    const char* value = std::getenv(name);
    text += '\n';
    text += name;
    text += '=';
    if (value != nullptr) text += value;
  }
  return text;
}

std::string hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

uint64_t fnv1a(const std::string& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

std::string home_path(const char* xdg, const char* fallback) {
  const char* base = std::getenv(xdg);
  if (base != nullptr && base[0] == '/') return base;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return {};
  return std::string(home) + fallback;
}

std::string cache_folder() {
  const std::string base = home_path("XDG_CACHE_HOME", "/.cache");
  return base.empty() ? std::string() : base + "/isovar";
}

std::string cache_file(const std::string& key) {
  const std::string folder = cache_folder();
  if (folder.empty()) return {};
  char name[40];
  std::snprintf(name, sizeof name, "/font-%016llx", static_cast<unsigned long long>(fnv1a(full_key(key))));
  return folder + name;
}

// A path's identity, or "-" when it is missing.
std::string stamp(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "-";
  char text[128];
  std::snprintf(text, sizeof text, "%llu %llu %lld %lld %ld", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size),
                static_cast<long long>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec));
  return text;
}

void add_list(const FontconfigApi* fc, std::set<std::string>& paths, FcStrList* list) {
  if (list == nullptr) return;
  while (FcChar8* s = fc->FcStrListNext(list)) paths.insert(reinterpret_cast<const char*>(s));
  fc->FcStrListDone(list);
}

std::string parent(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

bool find_cached_font(const std::string& key, std::string* file, int* index) {
  const std::string path = cache_file(key);
  if (path.empty()) return false;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  std::fclose(f);

  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kHeader) return false;
  if (!std::getline(in, line) || line != "key " + hex(full_key(key))) return false;
  if (!std::getline(in, line) || line.compare(0, 5, "font ") != 0) return false;
  const std::size_t space = line.find(' ', 5);
  if (space == std::string::npos) return false;
  const int found_index = std::atoi(line.c_str() + 5);
  const std::string found_file = line.substr(space + 1);
  bool watched = false;
  while (std::getline(in, line)) {
    // "watch STAMP\tPATH": every path must still be as it was.
    const std::size_t tab = line.find('\t');
    if (line.compare(0, 6, "watch ") != 0 || tab == std::string::npos) return false;
    if (stamp(line.substr(tab + 1)) != line.substr(6, tab - 6)) return false;
    watched = true;
  }
  if (!watched) return false;
  *file = found_file;
  *index = found_index;
  return true;
}

void remember_font(const std::string& key, const std::string& file, int index) {
  const std::string path = cache_file(key);
  if (path.empty()) return;
  const std::string folder = cache_folder();
  mkdir(parent(folder).c_str(), 0700);
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
  // Everything fontconfig read, the folders it would find new files in, the
  // user's configuration places even while they do not exist, and the font.
  // A missing path is kept as missing: when it appears, the answer is old.
  const FontconfigApi* fc = fontconfig();
  if (fc == nullptr) return;
  std::set<std::string> paths;
  add_list(fc, paths, fc->FcConfigGetConfigFiles(nullptr));
  add_list(fc, paths, fc->FcConfigGetConfigDirs(nullptr));
  add_list(fc, paths, fc->FcConfigGetFontDirs(nullptr));
  add_list(fc, paths, fc->FcConfigGetCacheDirs(nullptr));
  const std::string config = home_path("XDG_CONFIG_HOME", "/.config");
  if (!config.empty()) {
    for (const char* name : {"/fontconfig", "/fontconfig/fonts.conf", "/fontconfig/conf.d"}) paths.insert(config + name);
  }
  if (const char* home = std::getenv("HOME")) {
    for (const char* name : {"/.fonts.conf", "/.fonts.conf.d", "/.fonts"}) paths.insert(std::string(home) + name);
  }
  paths.insert(file);

  std::string text = std::string(kHeader) + "\nkey " + hex(full_key(key)) + "\nfont " + std::to_string(index) + " " +
                     file + "\n";
  for (const std::string& p : paths) {
    if (p.find('\n') != std::string::npos || p.find('\t') != std::string::npos) return;
    text += "watch " + stamp(p) + "\t" + p + "\n";
  }
  files::replace_file(path.c_str(), text.data(), text.size(), files::Target::kFixedName);
}

}  // namespace plat
