// Exact pictures of models: on a surface that takes exact paths every level's
// isolines are one group of paths whose points are the model's points
// through the frame's affine map (to 1e-6 pixel), clipped to the extent
// (where a line leaves it, at the nearest float of the model), with no point
// repeated; the pixels and the display list stay those of a plain
// surface.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "render_fixtures.h"
#include "test_support.h"

using namespace render_fixtures;

namespace {

constexpr int kW = 400;
constexpr int kH = 300;

struct Pt {
  double x, y;
};
using Path = std::vector<Pt>;

struct Model {
  const char* name;
  float xmin, xmax, ymin, ymax;
  bool all_inside;  // every polyline inside the extent: the paths are exactly them
  void (*add)();
};

void add_random_polylines() {
  std::mt19937 random(23);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int n = 0; n < 12; ++n) {
    const int32_t level = n % 3;
    std::vector<int32_t> slots;
    for (int k = 0; k < 8; ++k) slots.push_back(add_point(-50.0f + 150.0f * u(random), 1e4f + 40.0f * u(random), level));
    add_pline_of(level, slots);
  }
}

const Model kModels[] = {
    {"hand placed, a point repeated", 0, 10, 0, 5, true,
     [] {
       add_pline(0, {{1, 1}, {2.5f, 1.25f}, {2.5f, 1.25f}, {9, 4}});
       add_pline(1, {{0, 0}, {10, 5}});
       add_pline(1, {{3.3f, 0.7f}, {3.4f, 4.9f}, {7.7f, 2.1f}, {3.3f, 0.7f}});
     }},
    {"random, far from the origin", -50, 100, 1e4f, 1e4f + 40, true, add_random_polylines},
    {"crossing the extent", 0, 10, 0, 10, false,
     [] {
       add_pline(0, {{-5, 5}, {5, 5}, {15, 6}, {12, 12}, {5, 8}});
       add_pline(1, {{-1, -1}, {11, 11}});
       add_pline(2, {{2, 2}, {-3, 12}, {4, 4}});
     }},
};

// The paths of level k's group, one per subpath; `found` tells whether
// the group is there.
std::vector<Path> level_paths(const std::string& svg, int k, bool* found) {
  const std::string open = "<g id=\"level-" + std::to_string(k) + "\" data-level=\"";
  const std::size_t at = svg.find(open);
  *found = at != std::string::npos;
  std::vector<Path> out;
  if (!*found) return out;
  const std::string group = svg.substr(at, svg.find("</g>", at) - at);
  static const std::regex data(" d=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(group.begin(), group.end(), data); it != std::sregex_iterator(); ++it) {
    const std::string d = (*it)[1].str();
    for (std::size_t m = d.find('M'); m != std::string::npos;) {
      const std::size_t next = d.find('M', m + 1);
      const std::vector<double> v = testing_support::path_numbers(d.substr(m, next == std::string::npos ? std::string::npos : next - m));
      Path p;
      for (std::size_t i = 0; i + 1 < v.size(); i += 2) p.push_back(Pt{v[i], v[i + 1]});
      out.push_back(p);
      m = next;
    }
  }
  return out;
}

double distance_to_segment(const Pt& p, const Pt& a, const Pt& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

TEST(ExactPaths, LevelsAreGroupsOfTheModelsPointsThroughTheFrame) {
  for (double scale : {1.0, 2.0}) {
    for (const Model& model : kModels) {
      SCOPED_TRACE(std::string(model.name) + " at scale " + std::to_string(scale));
      set_model(model.xmin, model.xmax, model.ymin, model.ymax, {{1.0f}, {2.0f, 1}, {3.0f}});
      model.add();
      HDC plain = CreateSurfaceDC(kW, kH);
      const std::string plain_list = render_display_list(plain, kW, kH);
      HDC exact = CreateSurfaceDCWith(kW, kH, scale, ISOVAR_SURFACE_SVG);
      ASSERT_NE(exact, nullptr);
      EXPECT_EQ(render_display_list(exact, kW, kH), plain_list) << "the display list does not change";
      if (scale == 1.0) {
        int w = 0, h = 0;
        const uint32_t* a = GetSurfaceBits(plain, &w, &h);
        const uint32_t* b = GetSurfaceBits(exact, nullptr, nullptr);
        EXPECT_TRUE(std::equal(a, a + w * h, b)) << "the SVG surface's pixels are the plain surface's";
      }
      const std::string svg = GetSurfaceSvg(exact, nullptr);
      const PixelFrame f = pixel_frame(default_objects::run());
      auto map = [&](const IsoPoint& p) { return Pt{f.left + f.kx * (p.x - f.x0), f.bottom + f.ky * (p.y - f.y0)}; };

      const EngineTables& E = engine_tables;
      for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE("level " + std::to_string(k));
        std::vector<Path> lines;  // the level's polylines mapped, a repeated point once
        for (int32_t n = 0; n < E.pline_total; ++n) {
          if (E.pline_level[n] != k) continue;
          Path p;
          for (int32_t j = 0; j < E.pline_count[n]; ++j) {
            const Pt q = map(E.iso_points[pline_point(E, n, j)]);
            if (p.empty() || p.back().x != q.x || p.back().y != q.y) p.push_back(q);
          }
          lines.push_back(p);
        }
        bool found = false;
        const std::vector<Path> paths = level_paths(svg, k, &found);
        ASSERT_EQ(found, !lines.empty()) << "a group for each level with lines\n" << svg;
        if (lines.empty()) continue;
        if (model.all_inside) {
          ASSERT_EQ(paths.size(), lines.size());
          for (std::size_t i = 0; i < paths.size(); ++i) {
            ASSERT_EQ(paths[i].size(), lines[i].size());
            for (std::size_t j = 0; j < paths[i].size(); ++j) {
              EXPECT_NEAR(paths[i][j].x, lines[i][j].x, 1e-6);
              EXPECT_NEAR(paths[i][j].y, lines[i][j].y, 1e-6);
            }
          }
          continue;
        }
        ASSERT_FALSE(paths.empty());
        for (const Path& p : paths) {
          ASSERT_GE(p.size(), 2u);
          for (std::size_t j = 0; j < p.size(); ++j) {
            if (j > 0) {
              EXPECT_FALSE(p[j].x == p[j - 1].x && p[j].y == p[j - 1].y) << "a point repeated";
            }
            EXPECT_GE(p[j].x, f.left - 1e-6);
            EXPECT_LE(p[j].x, f.right + 1e-6);
            EXPECT_GE(p[j].y, f.top - 1e-6);
            EXPECT_LE(p[j].y, f.bottom + 1e-6);
            double nearest = INFINITY;
            for (const Path& line : lines)
              for (std::size_t i = 0; i + 1 < line.size(); ++i)
                nearest = std::min(nearest, distance_to_segment(p[j], line[i], line[i + 1]));
            // A point where a line leaves the extent is the nearest float
            // (model units) to that crossing: up to an ulp off in the model.
            const float largest = std::max(std::max(std::fabs(model.xmin), std::fabs(model.xmax)),
                                           std::max(std::fabs(model.ymin), std::fabs(model.ymax)));
            const double ulp = std::nextafter(largest, INFINITY) - largest;
            EXPECT_LT(nearest, 1e-6 + ulp * std::max(std::fabs(f.kx), std::fabs(f.ky))) << "a point off the level's lines";
          }
        }
      }
      // Well-formed as XML.
      testing_support::TempDir dir;
      const std::string path = dir.file("exact.svg");
      testing_support::write_file(path, svg);
      EXPECT_EQ(testing_support::run_command("xmllint --noout '" + path + "' 2>&1; echo $?"), "0\n");
      DeleteDC(plain);
      DeleteDC(exact);
    }
  }
}

}  // namespace
