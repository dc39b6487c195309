#include "gui_fakes.h"

#include <cstring>

namespace fake_lib {

Script script;
Calls calls;
namespace {
bool filled = false;
bool large = false;
bool limitHit = false;
std::string runLog;
}

void reset() {
  script = Script();
  calls = Calls();
  filled = false;
  large = false;
  limitHit = false;
  runLog.clear();
}

namespace {

int32_t fail(char* errMsg, const std::string& text) {
  std::strncpy(errMsg, text.c_str(), ISOVAR_ERRMSG_SIZE - 1);
  errMsg[ISOVAR_ERRMSG_SIZE - 1] = '\0';
  return -1;
}

const char kTableFull[] = "table full";

int32_t fakeReadData(const char* path, char* errMsg) {
  calls.reads.push_back(path);
  calls.readsLarge.push_back(large);
  limitHit = script.readNeedsLarge && !large;
  if (limitHit) return fail(errMsg, kTableFull);
  if (script.readResult != 0) return fail(errMsg, script.readMessage);
  calls.model = path;
  return 0;
}

int32_t fakeIsovarMain(char* errMsg, HDC hdc, const char* printInfoPath, int32_t width, int32_t height) {
  ++calls.plots;
  calls.plotHdcs.push_back(hdc);
  calls.printInfoPath = printInfoPath;
  calls.width = width;
  calls.height = height;
  if (!runLog.empty()) testing_support::write_file(runLog, "run " + std::to_string(width) + "\n");
  limitHit = script.plotNeedsLarge && !large;
  if (limitHit) return fail(errMsg, kTableFull);
  if (script.plotResult != 0 ||
      (!script.plotFailsFor.empty() && calls.model.find(script.plotFailsFor) != std::string::npos))
    return fail(errMsg, script.plotMessage);
  testing_support::write_file(printInfoPath, calls.model);
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

int32_t fakeTableLimitReached() { return limitHit ? 1 : script.limitReached; }

int32_t fakeSetLargeModels(int32_t on) {
  calls.largeSettings.push_back(on);
  large = on != 0;
  return 0;
}

int32_t fakeSetRunLog(const char* path) {
  runLog = path != nullptr ? path : "";
  return 0;
}

int32_t fakeSetFillBands(int32_t on) {
  calls.fillSettings.push_back(on);
  filled = on != 0;
  return 0;
}

int32_t fakeSetPictureStyle(const IsovarPictureStyle* style) {
  if (style != nullptr) calls.styles.push_back(*style);
  return script.styleResult;
}

int32_t fakeCurrentDir(char* buf) {
  ++calls.currentDir;
  buf[0] = '\0';
  return 0;
}

}  // namespace

IsovarLibBinding binding(bool fill, bool largeModels) {
  IsovarLibBinding b;
  b.readData = &fakeReadData;
  b.isovarMain = &fakeIsovarMain;
  b.saveBMP = &fakeSaveBMP;
  b.currentDir = &fakeCurrentDir;
  b.tableLimitReached = &fakeTableLimitReached;
  if (fill) b.setFillBands = &fakeSetFillBands;
  if (largeModels) b.setLargeModels = &fakeSetLargeModels;
  b.setRunLog = &fakeSetRunLog;
  b.setPictureStyle = &fakeSetPictureStyle;
  return b;
}

}  // namespace fake_lib
