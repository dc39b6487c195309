// The window's binding of IsovarLib. The window never links the library: it
// opens it by name at start-up and finds each function it calls by name, so
// a missing library or function is reported to the user instead of stopping
// the program before its window exists.
#pragma once

#include <string>
#include <vector>

#include "IsovarLib.h"

// The library functions the window calls. The first four are set after a
// successful bind; the others when the library has them: the large-model
// pair (the window then offers large mode and switches to it when a model
// passes the default tables), setFillBands (its 塗りつぶし item and --fill),
// setRunLog (the run log then goes to the window's own folder instead of
// the current one) and setPictureStyle (the picture menu's 表示スタイル items).
struct IsovarLibBinding {
  decltype(&::readData) readData = nullptr;
  decltype(&::isovarMain) isovarMain = nullptr;
  decltype(&::saveBMP) saveBMP = nullptr;
  decltype(&::currentDir) currentDir = nullptr;
  decltype(&::setLargeModels) setLargeModels = nullptr;
  decltype(&::tableLimitReached) tableLimitReached = nullptr;
  decltype(&::setFillBands) setFillBands = nullptr;
  decltype(&::setRunLog) setRunLog = nullptr;
  decltype(&::setPictureStyle) setPictureStyle = nullptr;
};

// The library's file name.
extern const char* const kIsovarLibName;  // "libIsovarLib.so"

// Where an installation keeps the library, relative to the folder of the
// programs: "../lib", or for example "../lib/x86_64-linux-gnu" on Debian.
extern const char* const kInstalledLibDir;

// The folder of the running executable, or empty when it cannot be told.
std::string executable_dir();

// Where the library is looked for, in order: the executable's own folder,
// then ../lib beside it (where the build tree keeps it), then the installed
// library folder when that is another, and last the bare name, which the
// loader looks up on its usual search path.
std::vector<std::string> isovar_lib_candidates(const std::string& exe_dir);

// Opens the library at path and finds the window's functions in it. On
// failure the library is closed again and *error holds the loader's own text.
bool bind_isovar_lib(const std::string& path, IsovarLibBinding* binding, std::string* error);

// Binds the first candidate that is there. A library that is there but
// cannot be used is reported as it is; no other copy is tried behind it.
bool load_isovar_lib(const std::string& exe_dir, IsovarLibBinding* binding, std::string* error);
