#include "recording_platform.h"

#include <cstdint>
#include <cstring>

namespace recording {

std::vector<Object> objects;
std::vector<Call> calls;
int most_live_objects = 0;
std::vector<std::string> faults;

namespace {

HDC const kDC = reinterpret_cast<HDC>(uintptr_t{0x1000});
// The objects selected now, per kind. Numbers 1 to 3 are the device
// context's own pen, brush and font.
constexpr int kOwnObjects = 4;
int selected_pen = 1, selected_brush = 2, selected_font = 3;
COLORREF text_colour = 0;

int handle_number(HGDIOBJ h) { return static_cast<int>(reinterpret_cast<uintptr_t>(h) >> 4); }
HGDIOBJ handle_of(int n) { return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(n) << 4); }

int live_objects() {
  int live = 0;
  for (std::size_t i = kOwnObjects; i < objects.size(); ++i) live += !objects[i].deleted;
  return live;
}

int create(Object o) {
  objects.push_back(o);
  int live = live_objects();
  if (live > most_live_objects) most_live_objects = live;
  return static_cast<int>(objects.size() - 1);
}

void record(const char* op, std::vector<long> args, std::string text = {}) {
  calls.push_back(Call{op, std::move(args), std::move(text), selected_pen, selected_brush, selected_font, text_colour});
}

bool is_dc(HDC dc) {
  if (dc != kDC) faults.push_back("drawing on a foreign device context");
  return dc == kDC;
}

}  // namespace

HDC reset() {
  objects.assign({Object{Kind::kPen}, Object{Kind::kPen}, Object{Kind::kBrush}, Object{Kind::kFont}});
  for (int i = 1; i < kOwnObjects; ++i) objects[i].selected = true;
  calls.clear();
  faults.clear();
  most_live_objects = 0;
  selected_pen = 1;
  selected_brush = 2;
  selected_font = 3;
  text_colour = 0;
  return kDC;
}

std::vector<const Call*> calls_named(const std::string& op) {
  std::vector<const Call*> out;
  for (const Call& c : calls)
    if (c.op == op) out.push_back(&c);
  return out;
}

}  // namespace recording

using namespace recording;

extern "C" {

HBRUSH CreateSolidBrush(COLORREF color) {
  Object o{Kind::kBrush};
  o.colour = color;
  return static_cast<HBRUSH>(handle_of(create(o)));
}

HPEN CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID) faults.push_back("pen not solid");
  Object o{Kind::kPen};
  o.width = width;
  o.colour = color;
  return static_cast<HPEN>(handle_of(create(o)));
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  Object o{Kind::kFont};
  o.font = *font;
  return static_cast<HFONT>(handle_of(create(o)));
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  if (!is_dc(hdc)) return nullptr;
  int n = handle_number(object);
  if (n < 1 || n >= static_cast<int>(objects.size())) {
    faults.push_back("selecting an unknown object");
    return nullptr;
  }
  if (objects[n].deleted) faults.push_back("selecting a deleted object");
  int* slot = objects[n].kind == Kind::kPen     ? &selected_pen
              : objects[n].kind == Kind::kBrush ? &selected_brush
                                                : &selected_font;
  int previous = *slot;
  *slot = n;
  objects[previous].selected = false;
  objects[n].selected = true;
  return handle_of(previous);
}

BOOL DeleteObject(HGDIOBJ object) {
  int n = handle_number(object);
  if (n < kOwnObjects || n >= static_cast<int>(objects.size())) {
    faults.push_back("deleting an object not made by the caller");
    return FALSE;
  }
  if (objects[n].deleted) faults.push_back("deleting an object twice");
  if (objects[n].selected) faults.push_back("deleting a selected object");
  objects[n].deleted = true;
  return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  if (!is_dc(hdc)) return FALSE;
  record("Rectangle", {left, top, right, bottom});
  return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
  if (!is_dc(hdc)) return FALSE;
  if (previous != nullptr) faults.push_back("asking for the previous position");
  record("MoveToEx", {x, y});
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  if (!is_dc(hdc)) return FALSE;
  record("LineTo", {x, y});
  return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
  if (!is_dc(hdc)) return FALSE;
  record("TextOutA", {x, y}, std::string(text, static_cast<std::size_t>(length)));
  return TRUE;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  if (!is_dc(hdc)) return CLR_INVALID;
  COLORREF previous = text_colour;
  text_colour = color;
  record("SetTextColor", {static_cast<long>(color)});
  return previous;
}

int SetBkMode(HDC, int) {
  faults.push_back("background mode changed");
  return 0;
}

COLORREF GetPixel(HDC hdc, int, int) {
  is_dc(hdc);
  return 0;
}

}  // extern "C"
