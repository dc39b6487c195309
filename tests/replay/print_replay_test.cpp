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

}  // namespace
