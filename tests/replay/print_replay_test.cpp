#include "print_replay.h"

#include <gtest/gtest.h>

#include "display_list_bytes.h"
#include "recording_printer.h"
#include "test_support.h"

using replay::PrintedItem;
using replay::RecordingPrinter;
using testing_support::cp932;
using testing_support::TempDir;

namespace {

struct Replayed {
  bool ok;
  std::string reason;
  RecordingPrinter printer;
};

Replayed replay_bytes(const std::string& bytes, int fail_at = -1) {
  TempDir dir;
  std::string path = dir.file("prtInfo.tmp");
  testing_support::write_file(path, bytes);
  Replayed r;
  r.printer.fail_at = fail_at;
  r.ok = replay::PrintDisplayList(path, r.printer, &r.reason);
  return r;
}

void expect_line(const PrintedItem& item, int x1, int y1, int x2, int y2, int width) {
  EXPECT_EQ(item.kind, PrintedItem::kLine);
  EXPECT_EQ(item.x1, x1);
  EXPECT_EQ(item.y1, y1);
  EXPECT_EQ(item.x2, x2);
  EXPECT_EQ(item.y2, y2);
  EXPECT_EQ(item.line_width, width);
}

void expect_text(const PrintedItem& item, int x, int y, const std::string& text, int size) {
  EXPECT_EQ(item.kind, PrintedItem::kText);
  EXPECT_EQ(item.x1, x);
  EXPECT_EQ(item.y1, y);
  EXPECT_EQ(item.text, text);
  EXPECT_EQ(item.font_size, size);
}

TEST(PrintReplay, MapsEachRecordKindToTwips) {
  // A frame line, a label and a title as a plot run records them.
  Replayed r = replay_bytes(dl_bytes::line(2, 60, 50, 540, 50) + dl_bytes::label("12.50", 200, 300, 10) +
                            dl_bytes::title("Plate", 100, 94, 30) + dl_bytes::title("", 100, 55, 30));
  ASSERT_TRUE(r.ok) << r.reason;
  ASSERT_EQ(r.printer.items.size(), 4u);
  expect_line(r.printer.items[0], 950, 810, 7670, 810, 8);
  expect_text(r.printer.items[1], 2910, 4310, "12.50", 10);
  expect_text(r.printer.items[2], 600, 516, "Plate", 30);
  // The first title of a 20-pixel title font sits on the printable area's top.
  expect_text(r.printer.items[3], 600, -30, "", 30);
  EXPECT_EQ(r.printer.ended, 1);
  EXPECT_EQ(r.printer.aborted, 0);
}

TEST(PrintReplay, SetsTheGothicFaceOnceBeforeDrawing) {
  Replayed r = replay_bytes(dl_bytes::label("1.00", 0, 0));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.printer.face_calls, 1);
  EXPECT_EQ(r.printer.items.at(0).face, u8"ＭＳ　ゴシック");
  EXPECT_STREQ(replay::kPrintFace, u8"ＭＳ　ゴシック");
}

TEST(PrintReplay, WidthAndSizeFollowEachRecordOfTheirKind) {
  Replayed r = replay_bytes(dl_bytes::line(2, 0, 0, 10, 0) + dl_bytes::title("T", 100, 55, 30) +
                            dl_bytes::line(1, 0, 0, 10, 10) + dl_bytes::label("5.00", 5, 5, 10) +
                            dl_bytes::line(2, 1, 1, 2, 2));
  ASSERT_TRUE(r.ok) << r.reason;
  ASSERT_EQ(r.printer.items.size(), 5u);
  const auto& it = r.printer.items;
  EXPECT_EQ(it[0].line_width, 8);
  EXPECT_EQ(it[2].line_width, 4);  // not left at 8 by the frame
  EXPECT_EQ(it[2].font_size, 30);  // a line leaves the title's size alone
  EXPECT_EQ(it[3].font_size, 10);
  EXPECT_EQ(it[4].line_width, 8);
  EXPECT_EQ(it[4].font_size, 10);
}

TEST(PrintReplay, DoubleByteTitleIsDecodedAndCountedInBytes) {
  std::string japanese = cp932(u8"等高線図 ＡＢ");  // 13 bytes, 7 characters
  ASSERT_EQ(japanese.size(), 13u);
  Replayed r = replay_bytes(dl_bytes::title(japanese, 100, 55) + dl_bytes::line(1, 60, 50, 540, 50) +
                            dl_bytes::label(cp932(u8"値"), 1, 2));
  ASSERT_TRUE(r.ok) << r.reason;
  ASSERT_EQ(r.printer.items.size(), 3u);
  expect_text(r.printer.items[0], 600, -30, u8"等高線図 ＡＢ", 30);
  expect_line(r.printer.items[1], 950, 810, 7670, 810, 4);
  expect_text(r.printer.items[2], 124, 138, u8"値", 10);
}

TEST(PrintReplay, BytesOutsideCodePage932BecomeReplacementCharacters) {
  // 0xA0 starts no character; 0x82 at the end is a lead byte without its trail.
  std::string bytes = std::string("A\xA0", 2) + cp932(u8"あ") + "\x82";
  Replayed r = replay_bytes(dl_bytes::label(bytes, 0, 0) + dl_bytes::line(1, 1, 1, 1, 1));
  ASSERT_TRUE(r.ok) << r.reason;
  ASSERT_EQ(r.printer.items.size(), 2u);
  EXPECT_EQ(r.printer.items[0].text, u8"A\uFFFDあ\uFFFD");
  expect_line(r.printer.items[1], 124, 124, 124, 124, 4);
}

TEST(PrintReplay, UnknownTagEndsTheReadingButNotThePage) {
  std::string three = dl_bytes::title("T", 100, 55) + dl_bytes::line(2, 0, 0, 1, 1) + dl_bytes::label("1.00", 3, 3);
  for (int32_t tag : {9, 0, -1, 4}) {
    std::string bytes = three;
    dl_bytes::put_int(bytes, tag);
    bytes += dl_bytes::line(1, 5, 5, 6, 6);  // never printed
    Replayed r = replay_bytes(bytes);
    EXPECT_TRUE(r.ok) << tag;
    EXPECT_EQ(r.printer.items.size(), 3u) << tag;
    EXPECT_EQ(r.printer.ended, 1) << tag;
  }
}

TEST(PrintReplay, RecordCutShortAnywhereIsDroppedAndThePageStillEnds) {
  const std::string first = dl_bytes::label(cp932(u8"ラベル"), 7, 8);
  const std::string second = dl_bytes::line(1, 1, 2, 3, 4);
  const std::string whole = first + second;
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    Replayed r = replay_bytes(whole.substr(0, cut));
    EXPECT_TRUE(r.ok) << cut;
    EXPECT_EQ(r.printer.items.size(), cut < first.size() ? 0u : 1u) << cut;
    EXPECT_EQ(r.printer.ended, 1) << cut;
  }
}

TEST(PrintReplay, LengthLargerThanTheFileIsACutShortRecord) {
  std::string bytes;
  dl_bytes::put_int(bytes, 1);
  dl_bytes::put_int(bytes, 0x7FFFFFFF);
  bytes += "only a few bytes";
  Replayed r = replay_bytes(dl_bytes::line(1, 0, 0, 1, 1) + bytes);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.printer.items.size(), 1u);
}

TEST(PrintReplay, NegativeTextLengthFailsAndAbandonsThePage) {
  std::string bad;
  dl_bytes::put_int(bad, 3);
  dl_bytes::put_int(bad, -5);
  bad += std::string(12, '\0');
  Replayed r = replay_bytes(dl_bytes::line(2, 0, 0, 1, 1) + bad);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.reason.find("negative length"), std::string::npos) << r.reason;
  EXPECT_EQ(r.printer.ended, 0);
  EXPECT_EQ(r.printer.aborted, 1);
}

TEST(PrintReplay, PositionsBeyondThePrintersIntegersFail) {
  // 14 x 200000000 does not fit 32 bits; such a value is a damaged file.
  struct Case {
    const char* name;
    std::string record;
  };
  const Case cases[] = {
      {"line end", dl_bytes::line(1, 0, 0, 200000000, 0)},
      {"negative line end", dl_bytes::line(1, 0, -200000000, 0, 0)},
      {"line width", dl_bytes::line(0x40000000, 0, 0, 1, 1)},
      {"negative line width", dl_bytes::line(-1, 0, 0, 1, 1)},
      {"label", dl_bytes::label("x", 0, 2147483647)},
      {"title", dl_bytes::title("x", -2147483647 - 1, 0)},
  };
  for (const Case& c : cases) {
    Replayed r = replay_bytes(dl_bytes::line(1, 0, 0, 1, 1) + c.record);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(r.printer.items.size(), 1u) << c.name;
    EXPECT_EQ(r.printer.aborted, 1) << c.name;
  }
  // The largest coordinates that still fit are printed.
  Replayed r = replay_bytes(dl_bytes::line(1, 153391681, -153391689, 0, 0) + dl_bytes::title("x", 153391746, 0));
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.printer.items[0].x1, 2147483644);
  EXPECT_EQ(r.printer.items[0].y1, -2147483536);
  EXPECT_EQ(r.printer.items[1].x1, 2147483644);
}

TEST(PrintReplay, PrinterErrorFails) {
  Replayed r = replay_bytes(dl_bytes::line(1, 0, 0, 1, 1) + dl_bytes::label("a", 0, 0) + dl_bytes::line(1, 0, 0, 2, 2),
                            /*fail_at=*/1);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.printer.items.size(), 1u);
  EXPECT_EQ(r.printer.aborted, 1);
  EXPECT_EQ(r.printer.ended, 0);
}

TEST(PrintReplay, MissingOrEmptyFileIsAnEmptyPage) {
  TempDir dir;
  for (const char* name : {"missing.tmp", "empty.tmp"}) {
    if (std::string(name) == "empty.tmp") testing_support::write_file(dir.file(name), "");
    RecordingPrinter printer;
    std::string reason;
    EXPECT_TRUE(replay::PrintDisplayList(dir.file(name), printer, &reason)) << name << reason;
    EXPECT_TRUE(printer.items.empty()) << name;
    EXPECT_EQ(printer.ended, 1) << name;
    EXPECT_EQ(printer.face_calls, 1) << name;
  }
}

TEST(PrintReplay, UnreadableFileFails) {
  TempDir dir;
  RecordingPrinter printer;
  std::string reason;
  // A folder opens but cannot be read.
  EXPECT_FALSE(replay::PrintDisplayList(dir.path(), printer, &reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(printer.ended, 0);
  EXPECT_EQ(printer.aborted, 1);
}

// Band polygons: corners in sixteenths of a pixel.
using Corners = std::vector<std::pair<int32_t, int32_t>>;
constexpr uint32_t kRedRef = 0x000000FF;   // COLORREF of red
constexpr uint32_t kBlueRef = 0x00FF0000;  // and of blue

TEST(PrintReplay, BandPolygonsArePaintedFirstOneShapePerColour) {
  const Corners a = {{960, 800}, {1600, 800}, {960, 1600}};
  const Corners b = {{1600, 800}, {1600, 1600}, {960, 1600}};
  const Corners c = {{8, 24}, {-8, 40}, {0, 0}, {100, 5}};
  Replayed r = replay_bytes(dl_bytes::bands(kRedRef, {a}) + dl_bytes::bands(kBlueRef, {b, c}) +
                            dl_bytes::bands(kRedRef, {c}) + dl_bytes::line(2, 60, 50, 540, 50) +
                            dl_bytes::bands(kBlueRef, {a}));
  ASSERT_TRUE(r.ok) << r.reason;
  ASSERT_EQ(r.printer.items.size(), 4u);
  // Red gathers both of its records, in their order, and comes first as it
  // came first; the colour arrives as 0xRRGGBB.
  const PrintedItem& red = r.printer.items[0];
  EXPECT_EQ(red.kind, PrintedItem::kPolygons);
  EXPECT_EQ(static_cast<uint32_t>(red.x1), 0xFF0000u);
  ASSERT_EQ(red.polygons.size(), 2u);
  // 60 pixels: 60 x 14 + 110 twips; fractions of a pixel round to the
  // nearest twip (half a pixel is 7 twips, 5/16 of a pixel 4.375).
  ASSERT_EQ(red.polygons[0].size(), 3u);
  EXPECT_EQ(red.polygons[0][0].x, 950);
  EXPECT_EQ(red.polygons[0][0].y, 810);
  EXPECT_EQ(red.polygons[0][2].y, 1510);
  ASSERT_EQ(red.polygons[1].size(), 4u);
  EXPECT_EQ(red.polygons[1][0].x, 117);
  EXPECT_EQ(red.polygons[1][1].x, 103);
  EXPECT_EQ(red.polygons[1][3].y, 114);
  const PrintedItem& blue = r.printer.items[1];
  EXPECT_EQ(static_cast<uint32_t>(blue.x1), 0x0000FFu);
  EXPECT_EQ(blue.polygons.size(), 2u);
  expect_line(r.printer.items[2], 950, 810, 7670, 810, 8);
  // Band records after another kind are painted where they come.
  EXPECT_EQ(r.printer.items[3].kind, PrintedItem::kPolygons);
  EXPECT_EQ(r.printer.items[3].polygons.size(), 1u);
  EXPECT_EQ(r.printer.ended, 1);
}

TEST(PrintReplay, BandRecordCutShortAddsNothing) {
  const std::string whole = dl_bytes::bands(kRedRef, {{{0, 0}, {160, 0}, {0, 160}}});
  const std::string second = dl_bytes::bands(kBlueRef, {{{0, 0}, {160, 0}, {0, 160}}, {{1, 1}, {2, 2}, {3, 1}}});
  for (std::size_t cut = 1; cut < second.size(); ++cut) {
    Replayed r = replay_bytes(whole + second.substr(0, cut));
    ASSERT_TRUE(r.ok) << cut;
    ASSERT_EQ(r.printer.items.size(), 1u) << cut;
    EXPECT_EQ(static_cast<uint32_t>(r.printer.items[0].x1), 0xFF0000u) << cut;
    EXPECT_EQ(r.printer.ended, 1);
  }
  // A count larger than the file is a record cut short, read no further
  // than the file goes.
  std::string huge = dl_bytes::bands(kRedRef, {});
  huge[8] = huge[9] = huge[10] = '\xFF';
  huge[11] = '\x7F';
  dl_bytes::put_int(huge, 3);
  Replayed r = replay_bytes(whole + huge);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.printer.items.size(), 1u);
}

TEST(PrintReplay, NegativeBandCountsFail) {
  std::string negative_polygons = dl_bytes::bands(kRedRef, {});
  negative_polygons.replace(8, 4, std::string("\xFE\xFF\xFF\xFF", 4));
  std::string negative_corners = dl_bytes::bands(kRedRef, {{}});
  negative_corners.replace(12, 4, std::string("\xFF\xFF\xFF\xFF", 4));
  for (const std::string& bad : {negative_polygons, negative_corners}) {
    Replayed r = replay_bytes(dl_bytes::bands(kBlueRef, {{{0, 0}, {16, 0}, {0, 16}}}) + bad);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.reason.find("band record at byte 40"), std::string::npos) << r.reason;
    EXPECT_EQ(r.printer.aborted, 1);
    EXPECT_EQ(r.printer.ended, 0);
  }
}

TEST(PrintReplay, PrinterErrorOnBandsFails) {
  Replayed r = replay_bytes(dl_bytes::bands(kRedRef, {{{0, 0}, {16, 0}, {0, 16}}}) + dl_bytes::line(1, 0, 0, 5, 5), 0);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.reason, "the printer failed");
  EXPECT_TRUE(r.printer.items.empty());
  EXPECT_EQ(r.printer.aborted, 1);
}

}  // namespace
