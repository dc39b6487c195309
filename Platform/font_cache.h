// Face resolutions remembered from one process to the next. Asking
// fontconfig costs a process milliseconds (it reads its whole configuration
// first); the answer only changes when that configuration, the installed
// fonts or the chosen font file change. So each answer is kept in a small
// file under $XDG_CACHE_HOME/isovar (or ~/.cache/isovar) together with the
// identity (device, inode, size, modification time) of every file and folder
// fontconfig read or would read, and used only while all of them are as
// recorded. Without a cache folder nothing is kept and nothing fails.
// Called with text.cpp's lock held; two processes that write the same
// answer at once each replace the file whole.
#pragma once

#include <string>

namespace plat {

// The font file and face index remembered for key, when still valid.
bool find_cached_font(const std::string& key, std::string* file, int* index);

// Remembers that fontconfig (loaded and initialised) resolved key to file
// and index.
void remember_font(const std::string& key, const std::string& file, int index);

}  // namespace plat
