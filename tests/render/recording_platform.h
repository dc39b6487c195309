// A drawing surface that records every call instead of drawing: the tests of
// drawing steps check which objects were made, selected and deleted, and
// where lines and texts went. Linked into its own test program in place of
// the platform's drawing calls.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

namespace recording {

enum class Kind { kPen, kBrush, kFont };

struct Object {
  Kind kind;
  int width = 0;          // pens
  COLORREF colour = 0;    // pens and brushes
  LOGFONTA font{};        // fonts
  bool deleted = false;
  bool selected = false;  // selected into the device context right now
};

struct Call {
  std::string op;          // "MoveToEx", "LineTo", "TextOutA", "Rectangle", "SetTextColor"
  std::vector<long> args;  // the coordinates, or the colour
  std::string text;        // TextOutA
  int pen = -1;            // the objects selected when the call was made
  int brush = -1;
  int font = -1;
  COLORREF text_colour = 0;
};

// Every object ever created, by handle number: 1 to 3 are the device
// context's own pen, brush and font, the caller's objects follow.
extern std::vector<Object> objects;
extern std::vector<Call> calls;
extern int most_live_objects;       // the most own objects alive at one time
extern std::vector<std::string> faults;  // misuse seen: a deleted object selected, ...

// The one device context; starts a new recording.
HDC reset();

// The recorded calls of one kind, in order.
std::vector<const Call*> calls_named(const std::string& op);

}  // namespace recording
