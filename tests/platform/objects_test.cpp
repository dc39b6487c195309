// Drawing objects: selection returns what it replaces, deletion of selected,
// stale, foreign and stock handles is harmless, the table has a limit.
#include <cstdint>
#include <vector>

#include "surface_fixture.h"

namespace {

using surface_test::Surface;

class Objects : public Surface {};

TEST_F(Objects, SelectReturnsTheObjectOfTheSameKindItReplaces) {
  HPEN pen1 = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HPEN pen2 = CreatePen(PS_SOLID, 2, RGB(0, 0, 255));
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  LOGFONTA lf{};
  lf.lfHeight = 10;
  HFONT font = CreateFontIndirectA(&lf);
  ASSERT_NE(pen1, nullptr);
  ASSERT_NE(pen2, nullptr);
  ASSERT_NE(brush, nullptr);
  ASSERT_NE(font, nullptr);

  HGDIOBJ default_pen = SelectObject(dc_, pen1);
  HGDIOBJ default_brush = SelectObject(dc_, brush);
  HGDIOBJ default_font = SelectObject(dc_, font);
  EXPECT_NE(default_pen, nullptr);
  EXPECT_NE(default_brush, nullptr);
  EXPECT_NE(default_font, nullptr);
  EXPECT_EQ(SelectObject(dc_, pen2), pen1);
  EXPECT_EQ(SelectObject(dc_, pen2), pen2);  // already selected
  EXPECT_EQ(SelectObject(dc_, pen1), pen2);
  EXPECT_EQ(SelectObject(dc_, default_pen), pen1);
  EXPECT_EQ(SelectObject(dc_, default_brush), brush);
  EXPECT_EQ(SelectObject(dc_, default_font), font);
  for (HGDIOBJ o : {HGDIOBJ(pen1), HGDIOBJ(pen2), HGDIOBJ(brush), HGDIOBJ(font)})
    EXPECT_TRUE(DeleteObject(o));
}

TEST_F(Objects, BadHandlesAreRefusedWithoutHarm) {
  int local = 0;
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  const HGDIOBJ foreign[] = {nullptr, &local, reinterpret_cast<HGDIOBJ>(1),
                             reinterpret_cast<HGDIOBJ>(~uintptr_t{0}),
                             reinterpret_cast<HGDIOBJ>(uintptr_t{0x49} << 56),
                             reinterpret_cast<HGDIOBJ>(reinterpret_cast<uintptr_t>(pen) & ~uintptr_t{0xFFFFF}),
                             reinterpret_cast<HGDIOBJ>(reinterpret_cast<uintptr_t>(pen) ^ (1u << 20))};
  for (HGDIOBJ h : foreign) {
    EXPECT_EQ(SelectObject(dc_, h), nullptr) << h;
    EXPECT_FALSE(DeleteObject(h)) << h;
    EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(h), pen), nullptr) << h;
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(h))) << h;
  }
  // A context is no drawing object, and a pen is no context.
  EXPECT_EQ(SelectObject(dc_, dc_), nullptr);
  EXPECT_FALSE(DeleteObject(dc_));
  EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(pen)));
  // None of that changed the context: its pen is still the black default.
  line(0, 0, 2, 0);
  EXPECT_EQ(picture()[0], "##......");
  EXPECT_TRUE(DeleteObject(pen));
}

TEST_F(Objects, StaleHandleIsNotMistakenForTheSlotsNextObject) {
  HPEN old_pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  ASSERT_TRUE(DeleteObject(old_pen));
  EXPECT_FALSE(DeleteObject(old_pen));
  HPEN new_pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));  // likely the same slot
  EXPECT_EQ(SelectObject(dc_, old_pen), nullptr);
  EXPECT_FALSE(DeleteObject(old_pen));
  EXPECT_NE(SelectObject(dc_, new_pen), nullptr);
  line(0, 0, 2, 0);
  EXPECT_EQ(picture()[0], "bb......");
  EXPECT_TRUE(DeleteObject(new_pen));  // selected: stays in use
}

TEST_F(Objects, DeletedWhileSelectedStaysInUseUntilDeselected) {
  HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ previous = SelectObject(dc_, red);
  EXPECT_TRUE(DeleteObject(red));
  // Dead for everyone but the context that holds it.
  EXPECT_EQ(SelectObject(dc_, red), nullptr);
  line(0, 0, 3, 0);
  EXPECT_EQ(picture()[0], "rrr.....");
  // Deselecting hands it back one last time, then frees it.
  EXPECT_EQ(SelectObject(dc_, previous), red);
  EXPECT_FALSE(DeleteObject(red));
  line(0, 1, 3, 1);
  EXPECT_EQ(picture()[1], "###.....");
}

TEST_F(Objects, PendingObjectSharedByTwoContextsLivesUntilBothLetGo) {
  HDC other = CreateSurfaceDC(4, 1);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HGDIOBJ previous = SelectObject(dc_, blue);
  SelectObject(other, blue);
  EXPECT_TRUE(DeleteObject(blue));
  SelectObject(dc_, previous);
  // Still filling in the other context.
  HPEN blue_pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
  SelectObject(other, blue_pen);
  EXPECT_TRUE(DeleteObject(blue_pen));
  Rectangle(other, -1, -1, 5, 5);
  EXPECT_EQ(GetPixel(other, 0, 0), RGB(0, 0, 255));
  EXPECT_TRUE(DeleteDC(other));  // frees both pending objects
  EXPECT_FALSE(DeleteObject(blue));
  EXPECT_FALSE(DeleteObject(blue_pen));
}

TEST_F(Objects, StockObjectsSurviveDeletion) {
  HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ stock_pen = SelectObject(dc_, red);
  EXPECT_TRUE(DeleteObject(stock_pen));  // does nothing
  EXPECT_EQ(SelectObject(dc_, stock_pen), red);
  line(0, 0, 2, 0);
  EXPECT_EQ(picture()[0], "##......");
  EXPECT_TRUE(DeleteObject(red));
  // And a new context still gets them.
  make(8, 6);
  line(0, 0, 2, 0);
  EXPECT_EQ(picture()[0], "##......");
}

TEST_F(Objects, CreationRefusesWhatItCannotDraw) {
  EXPECT_EQ(CreatePen(1 /* dashed */, 1, 0), nullptr);
  EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
  // Width 0 and below is the 1-pixel pen.
  for (int width : {0, -5}) {
    make(8, 6);
    use_pen(width, RGB(255, 0, 0));
    line(1, 2, 4, 2);
    EXPECT_EQ(picture()[1], "........") << width;
    EXPECT_EQ(picture()[2], ".rrr....") << width;
    EXPECT_EQ(picture()[3], "........") << width;
  }
}

TEST_F(Objects, FullTableRefusesNewObjectsAndRecovers) {
  std::vector<HPEN> pens;
  for (;;) {
    HPEN p = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    if (p == nullptr) break;
    pens.push_back(p);
    ASSERT_LT(pens.size(), 100000u) << "the object table has no limit";
  }
  EXPECT_GT(pens.size(), 10000u);
  EXPECT_EQ(CreateSolidBrush(0), nullptr);
  EXPECT_EQ(CreateSurfaceDC(2, 2), nullptr);
  // Existing objects still work.
  EXPECT_NE(SelectObject(dc_, pens.back()), nullptr);
  line(0, 0, 2, 0);
  EXPECT_EQ(picture()[0], "rr......");
  for (HPEN p : pens) EXPECT_TRUE(DeleteObject(p));
  HBRUSH brush = CreateSolidBrush(0);
  EXPECT_NE(brush, nullptr);
  EXPECT_TRUE(DeleteObject(brush));
}

}  // namespace
