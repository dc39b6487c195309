#include "gui_fakes.h"

#include <cstring>

namespace fake_lib {

Script script;
Calls calls;
namespace {
bool filled = false;
}

void reset() {
  script = Script();
  calls = Calls();
  filled = false;
}

namespace {

int32_t fail(char* errMsg, const std::string& text) {
  std::strncpy(errMsg, text.c_str(), ISOVAR_ERRMSG_SIZE - 1);
  errMsg[ISOVAR_ERRMSG_SIZE - 1] = '\0';
  return -1;
}

int32_t fakeReadData(const char* path, char* errMsg) {
  calls.reads.push_back(path);
  return script.readResult == 0 ? 0 : fail(errMsg, script.readMessage);
}

int32_t fakeIsovarMain(char* errMsg, HDC hdc, const char* printInfoPath, int32_t width, int32_t height) {
  ++calls.plots;
  calls.plotHdcs.push_back(hdc);
  calls.printInfoPath = printInfoPath;
  calls.width = width;
  calls.height = height;
  if (script.plotResult != 0) return fail(errMsg, script.plotMessage);
  const uint32_t c = filled ? kFakeFilledColour : kFakePlotColour;
  HBRUSH brush = CreateSolidBrush(RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
  HGDIOBJ oldBrush = SelectObject(hdc, brush);
  HGDIOBJ oldPen = SelectObject(hdc, pen);
  Rectangle(hdc, 0, 0, width, height);
  SelectObject(hdc, oldBrush);
  SelectObject(hdc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
  return 0;
}

int32_t fakeSaveBMP(char* errMsg, HDC hdc, const char* printInfoPath, const char* bmpPath, int32_t width,
                int32_t height) {
  calls.bmpPaths.push_back(bmpPath);
  calls.bmpFilled.push_back(filled);
  if (fakeIsovarMain(errMsg, hdc, printInfoPath, width, height) != 0) return -1;
  if (script.bmpResult != 0) return fail(errMsg, script.bmpMessage);
  testing_support::write_file(bmpPath, "BM");
  return 0;
}

int32_t fakeTableLimitReached() { return script.limitReached; }

int32_t fakeSetFillBands(int32_t on) {
  calls.fillSettings.push_back(on);
  filled = on != 0;
  return 0;
}

int32_t fakeCurrentDir(char* buf) {
  ++calls.currentDir;
  buf[0] = '\0';
  return 0;
}

}  // namespace

IsovarLibBinding binding(bool fill) {
  IsovarLibBinding b;
  b.readData = &fakeReadData;
  b.isovarMain = &fakeIsovarMain;
  b.saveBMP = &fakeSaveBMP;
  b.currentDir = &fakeCurrentDir;
  b.tableLimitReached = &fakeTableLimitReached;
  if (fill) b.setFillBands = &fakeSetFillBands;
  return b;
}

}  // namespace fake_lib
