// What isovar-plot reads back from a run's files: a display list scanned for
// an isoline label record by record, GeoJSON features counted block by block.
#include "findings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "display_list_format.h"
#include "test_support.h"

namespace {

using isovar_plot::Found;
using testing_support::TempDir;
using testing_support::write_file;

void put(std::string& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff);
}
std::string line() {
  std::string r;
  for (int32_t v : {DL_LINE, 1, 2, 3, 4, 5}) put(r, v);
  return r;
}
std::string text(int32_t tag, const std::string& bytes) {
  std::string r;
  put(r, tag);
  put(r, static_cast<int32_t>(bytes.size()));
  r += bytes;
  for (int32_t v : {10, 20, 12}) put(r, v);
  return r;
}
// A band record of polygons with the given corner counts; corner values that
// would read as a label's tag if the record were misread.
std::string bands(const std::vector<int32_t>& corners) {
  std::string r;
  put(r, DL_BANDS);
  put(r, 0x00ff8080);
  put(r, static_cast<int32_t>(corners.size()));
  for (int32_t n : corners) {
    put(r, n);
    for (int32_t i = 0; i < 2 * n; ++i) put(r, DL_LABEL);
  }
  return r;
}

TEST(Findings, DisplayListLabelsAreFoundRecordByRecord) {
  TempDir dir;
  std::string many_lines;
  for (int i = 0; i < 100000; ++i) many_lines += line();  // 2.4 MB: records across reading blocks
  struct Case {
    std::string bytes;
    Found found;
  };
  const std::vector<Case> cases = {
      {"", Found::kNo},
      {bands({3, 4}) + text(DL_TITLE, std::string("\x03\x00\x00\x00 title", 10)) + line() + line(), Found::kNo},
      {bands({3, 4}) + text(DL_TITLE, "t") + line() + text(DL_LABEL, " 5.00"), Found::kYes},
      {many_lines + bands({70000}) + many_lines + text(DL_LABEL, "1"), Found::kYes},
      {many_lines + bands({70000}) + many_lines, Found::kNo},
      {line() + text(DL_LABEL, "5").substr(0, 3), Found::kNo},  // cut short: the list ends there
      {line() + std::string("\x09\x00\x00\x00", 4) + text(DL_LABEL, "5"), Found::kUnknown},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    write_file(dir.file("dl"), cases[i].bytes);
    EXPECT_EQ(isovar_plot::display_list_has_label(dir.file("dl")), cases[i].found) << i;
  }
  EXPECT_EQ(isovar_plot::display_list_has_label(dir.file("missing")), Found::kUnknown);
  EXPECT_EQ(isovar_plot::display_list_has_label("/dev/null"), Found::kUnknown);
}

TEST(Findings, FeaturesAreCountedAcrossBlocks) {
  TempDir dir;
  const std::string feature = "{\"type\":\"Feature\",\"properties\":{\"band\":0,\"lower\":null,\"upper\":7}}";
  const std::string collection = "{\"type\":\"FeatureCollection\",\"features\":[\n";
  // The first feature at the start, across the first block's end (64 KiB),
  // just after it, far on.
  for (std::size_t at : {collection.size(), std::size_t{65536 - 9}, std::size_t{65536 + 1}, std::size_t{200000}}) {
    const std::string head = collection + std::string(at - collection.size(), ' ');
    write_file(dir.file("one"), head + feature + "\n]}\n");
    EXPECT_EQ(isovar_plot::count_features(dir.file("one"), 5), 1) << at;
    write_file(dir.file("three"), head + feature + ",\n" + feature + ",\n" + feature + "\n]}\n");
    EXPECT_EQ(isovar_plot::count_features(dir.file("three"), 5), 3) << at;
    EXPECT_EQ(isovar_plot::count_features(dir.file("three"), 2), 2) << at;
  }
  write_file(dir.file("none"), "{\"type\":\"FeatureCollection\",\"features\":[\n]}\n");
  EXPECT_EQ(isovar_plot::count_features(dir.file("none"), 5), 0);
  EXPECT_EQ(isovar_plot::count_features(dir.file("missing"), 5), -1);

  struct Case {
    std::string lower, upper, where;
  };
  for (const Case& c : std::vector<Case>{{"null", "7", " (all lie below the lowest level, 7)"},
                                         {"-0.5", "null", " (all lie above the highest level, -0.5)"},
                                         {"1", "2", " (all lie between the levels 1 and 2)"}}) {
    write_file(dir.file("band"), "{\"type\":\"FeatureCollection\",\"features\":[\n{\"type\":\"Feature\",\"properties\":"
                                 "{\"band\":1,\"lower\":" + c.lower + ",\"upper\":" + c.upper + "},\"geometry\":null}\n]}\n");
    const isovar_plot::BandsFound found = isovar_plot::find_bands(dir.file("band"));
    EXPECT_EQ(found.bands, 1);
    EXPECT_EQ(found.where, c.where);
  }
}

}  // namespace
