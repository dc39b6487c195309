// The exported entry points.
#include <unistd.h>

#include <cstring>

#include "IsovarLib.h"
#include "isovar_messages.h"
#include "run_context.h"

int32_t readData(const char* path, char* errMsg) {
  // The reader driver (input/reader.h), exported as is.
  int32_t ReadIsovarFile(const char* path, char* errMsg);
  return ReadIsovarFile(path, errMsg);
}

int32_t isovarMain(char* errMsg, HDC hdc, const char* printInfoPath, int32_t width, int32_t height) {
  (void)hdc;
  (void)printInfoPath;
  (void)width;
  (void)height;
  copy_message(errMsg, kErrMsgSize, "not yet");
  return -1;
}

int32_t saveBMP(char* errMsg, HDC hdc, const char* printInfoPath, const char* bmpPath, int32_t width,
                int32_t height) {
  (void)bmpPath;
  return isovarMain(errMsg, hdc, printInfoPath, width, height);
}

int32_t currentDir(char* buf) {
  GetCurrentDirectoryA(ISOVAR_CURRENT_DIR_SIZE, buf);
  return 0;
}

int32_t makeTempFilePath(char* errMsg, char* outPath) {
  (void)outPath;
  copy_message(errMsg, kErrMsgSize, msg::no_temp);
  return -1;
}
