// The example input files, read through the reader and traced by both
// engines: no limit is reached and the tables agree.
#include <cstdio>
#include <string>

#include "engine_fixture.h"
#include "default_objects.h"
#include "literal_engine.h"
#include "test_support.h"

namespace engine_test {
namespace {

class ExampleFile : public ::testing::TestWithParam<const char*> {};

TEST_P(ExampleFile, TracesWithinTheLimitsLikeTheLiteralScans) {
  char err[kErrMsgSize] = "";
  const std::string path = testing_support::source_path(std::string("examples/") + GetParam());
  ASSERT_EQ(ReadIsovarFile(path.c_str(), err), 0) << testing_support::utf8(err);
  run_context.message_buffer[0] = '\0';
  ASSERT_EQ(trace_isolines(), 0) << testing_support::utf8(run_context.message_buffer);
  const EngineTables& t = engine_tables;
  int live = 0, closed = 0;
  for (int n = 0; n < t.pline_total; ++n) {
    if (t.pline_count[n] > 0) ++live;
    if (t.pline_count[n] > 0 && t.pline_closed[n]) ++closed;
  }
  std::printf("%s: %d points, %d rows opened, %d polylines (%d closed), %d band pieces\n", GetParam(),
              t.point_count - 1, t.pline_total, live, closed, t.fill_poly_count);

  literal::tables.message_buffer[0] = '\0';
  ASSERT_EQ(literal::trace_isolines(), 0);
  const literal::Tables& L = literal::tables;
  ASSERT_EQ(t.point_count, L.point_count);
  ASSERT_EQ(t.pline_total, L.pline_total);
  ASSERT_EQ(t.fill_poly_count, L.fill_poly_count);
  for (int n = 0; n < t.pline_total; ++n) {
    ASSERT_EQ(t.pline_count[n], L.pline_count[n]) << "row " << n;
    for (int i = 0; i < t.pline_count[n]; ++i) ASSERT_EQ(pline_point(n, i), L.pline_points[n][i]) << "row " << n;
  }
  EXPECT_STREQ(run_context.message_buffer, L.message_buffer);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleFile, ::testing::Values("large.isovar", "plate.isovar", "terrain.isovar"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace engine_test
