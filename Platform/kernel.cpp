// Kernel services of the platform layer.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform.h"

// Like the platform's call: with room, the path and its length without the NUL;
// without room, the size needed including the NUL and the buffer untouched.
DWORD GetCurrentDirectoryA(DWORD buffer_length, LPSTR buffer) {
  char path[4096];
  if (getcwd(path, sizeof path) == nullptr) return 0;
  size_t len = std::strlen(path);
  if (buffer == nullptr || buffer_length <= len) return static_cast<DWORD>(len + 1);
  std::memcpy(buffer, path, len + 1);
  return static_cast<DWORD>(len);
}
