// isovar._isovar: the library's models and runs for Python. The pure-Python
// layer (isovar/__init__.py) checks the arguments and shapes the results; this
// module builds and reads models, traces, draws and writes, each call with a
// run of its own and without the GIL, so threads run side by side.
//
// A model's levels, flags, titles and display mode may be replaced for one
// call (an "override"): the model is then held alone for that call and put
// back as it was after it; calls with the model's own levels share it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "platform.h"
#include "png_encode.h"

namespace py = pybind11;

namespace {

PyObject* isovar_error = nullptr;  // isovar.IsovarError, a ValueError

// A failure with the library's message (code page 932 bytes), or with a
// text of this module (ASCII).
struct Failure {
  std::string text;
  bool limit = false;  // a default table's limit, which large tables lift
  bool utf8 = false;   // a text of this module, not the library's
};

void check(int32_t result, const char* err) {
  if (result != 0) throw Failure{err};
}

// What a model has besides its geometry, as given for a build or an override.
struct Info {
  std::vector<double> levels;
  std::vector<int32_t> bold;
  std::vector<int32_t> labelled;
  std::vector<std::string> titles;  // code page 932
  int32_t display_mode = 1;
};

// The C view of an Info, valid while the Info lives.
struct InfoView {
  explicit InfoView(const Info& i) {
    for (const std::string& t : i.titles) titles.push_back(t.c_str());
    c = IsovarModelInfo{static_cast<int32_t>(i.levels.size()),
                        i.levels.data(),
                        i.bold.empty() ? nullptr : i.bold.data(),
                        i.labelled.empty() ? nullptr : i.labelled.data(),
                        static_cast<int32_t>(titles.size()),
                        titles.empty() ? nullptr : titles.data(),
                        i.display_mode};
  }
  std::vector<const char*> titles;
  IsovarModelInfo c;
};

using Large = std::optional<bool>;  // None: as the call decides (see with_run and Model::build)

// Runs kept for the calls that follow: a run's tables are memory the system
// gives as it is first touched, and a new run for every call would pay for
// those first touches each time (W1's trace: 2 ms in a kept run, several
// times that in a new one; a 2000 x 2000 grid's a third more). A run serves
// one call at a time. Up to four runs in the default tables are kept, and
// the last two that used the growing tables (which keep their memory: the
// size of the last large models); release_runs() frees them all.
class RunPool {
 public:
  // A kept run (one that used the growing tables when large), or a new one.
  // *was_large: the run has used the growing tables.
  IsovarRun* take(bool large, bool* was_large) {
    *was_large = false;
    {
      std::lock_guard lock(mutex_);
      if (large && !large_.empty()) {
        *was_large = true;
        IsovarRun* run = large_.back();
        large_.pop_back();
        return run;
      }
      if (!idle_.empty()) {
        IsovarRun* run = idle_.back();
        idle_.pop_back();
        return run;
      }
    }
    IsovarRun* run = isovarRunNew();
    if (run == nullptr) throw std::bad_alloc();
    return run;
  }
  void give(IsovarRun* run, bool large) {
    IsovarRun* freed = run;
    {
      std::lock_guard lock(mutex_);
      if (large) {
        large_.insert(large_.begin(), run);  // the newest are kept
        freed = nullptr;
        if (large_.size() > kMaxLargeIdle) {
          freed = large_.back();
          large_.pop_back();
        }
      } else if (idle_.size() < kMaxIdle) {
        idle_.push_back(run);
        freed = nullptr;
      }
    }
    isovarRunFree(freed);
  }
  void release() {
    std::vector<IsovarRun*> all;
    {
      std::lock_guard lock(mutex_);
      all.swap(idle_);
      all.insert(all.end(), large_.begin(), large_.end());
      large_.clear();
    }
    for (IsovarRun* run : all) isovarRunFree(run);
  }

 private:
  static constexpr std::size_t kMaxIdle = 4;
  static constexpr std::size_t kMaxLargeIdle = 2;  // two threads on two large models
  std::mutex mutex_;
  std::vector<IsovarRun*> idle_;
  std::vector<IsovarRun*> large_;  // runs that used the growing tables, newest first
};

RunPool& run_pool() {
  static RunPool* pool = new RunPool;  // never freed: runs may be in use until the process ends
  return *pool;
}

// A run for one call, taken from the pool and given back after it.
struct RunHandle {
  explicit RunHandle(bool large_model) : run(run_pool().take(large_model, &large)) {}
  ~RunHandle() { run_pool().give(run, large); }
  RunHandle(const RunHandle&) = delete;
  RunHandle& operator=(const RunHandle&) = delete;
  bool large = false;  // the run has used the growing tables
  IsovarRun* run;
};

struct SurfaceHandle {
  SurfaceHandle(int width, int height, bool svg)
      : hdc(svg ? CreateSvgSurfaceDC(width, height) : CreateSurfaceDC(width, height)) {
    if (hdc == nullptr)
      throw Failure{"cannot make a picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels",
                    false, true};
  }
  ~SurfaceHandle() { DeleteDC(hdc); }
  SurfaceHandle(const SurfaceHandle&) = delete;
  SurfaceHandle& operator=(const SurfaceHandle&) = delete;
  HDC hdc;
};

// Runs op(run) in the run r with the given settings. With large None the
// run takes the growing tables: they give what the default ones give where
// those hold a model, hold every model, and skip the band table a picture
// without bands never reads.
template <class Op>
void with_run(RunHandle& r, const IsovarModel* model, Large large, bool fill, int32_t threads, Op op) {
  char err[ISOVAR_ERRMSG_SIZE] = {};
  IsovarModelSummary s;
  isovarModelDescribe(model, &s);
  const bool use_large = large.value_or(true);
  r.large = r.large || s.large != 0 || use_large;
  isovarRunSetFill(r.run, fill ? 1 : 0);
  isovarRunSetLarge(r.run, use_large ? 1 : 0);
  isovarRunSetThreads(r.run, threads);
  if (op(r.run, err) == 0) return;
  throw Failure{err, isovarRunLimitReached(r.run) != 0};
}

void write_whole(const std::string& path, const void* data, std::size_t size) {
  const int error = files::replace_file(path.c_str(), data, size, files::Target::kNamedByUser);
  if (error != 0) throw Failure{files::write_failure(path, error), false, true};
}

class Model {
 public:
  Model() : m_(isovarModelNew()) {
    if (m_ == nullptr) throw std::bad_alloc();
  }
  ~Model() { isovarModelFree(m_); }
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // A build or read: in the default tables, then (large None) in the large
  // ones when a default table's limit was the cause.
  template <class Build>
  void build(Large large, Build op) {
    std::unique_lock lock(mutex_);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    if (op(m_, large.value_or(false) ? 1 : 0, err) == 0) return;
    if (!large.has_value() && isovarModelLimitReached(m_) != 0) {
      err[0] = '\0';
      if (op(m_, 1, err) == 0) return;
    }
    throw Failure{err, isovarModelLimitReached(m_) != 0};
  }

  IsovarModelSummary summary() const {
    std::shared_lock lock(mutex_);
    IsovarModelSummary s;
    isovarModelDescribe(m_, &s);
    return s;
  }

  bool is_large() const { return summary().large != 0; }

  void set_info(const Info& info) {
    std::unique_lock lock(mutex_);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    InfoView view(info);
    check(isovarModelSetInfo(m_, &view.c, err), err);
  }

  // Calls op(model) with the model's own levels (the model shared with
  // other calls), or with those of the override (the model held alone and
  // put back afterwards).
  template <class Op>
  void use(const std::optional<Info>& override_info, Op op) const {
    if (!override_info) {
      std::shared_lock lock(mutex_);
      op(static_cast<const IsovarModel*>(m_));
      return;
    }
    std::unique_lock lock(mutex_);
    IsovarModelSummary saved;
    isovarModelDescribe(m_, &saved);
    char err[ISOVAR_ERRMSG_SIZE] = {};
    InfoView view(*override_info);
    check(isovarModelSetInfo(m_, &view.c, err), err);
    struct Restore {
      IsovarModel* m;
      const IsovarModelSummary& s;
      ~Restore() {
        std::vector<const char*> titles;
        for (int32_t t = 0; t < s.title_count; ++t) titles.push_back(s.titles[t]);
        const IsovarModelInfo info{s.level_count,      s.levels,      s.bold, s.labelled,
                                   s.title_count,      titles.data(), s.display_mode};
        char e[ISOVAR_ERRMSG_SIZE];
        isovarModelSetInfo(m, &info, e);  // what the model held before: cannot fail
      }
    } restore{m_, saved};
    op(static_cast<const IsovarModel*>(m_));
  }

 private:
  IsovarModel* m_;
  mutable std::shared_mutex mutex_;
};

py::array_t<double> points_array(const std::vector<double>& xy) {
  const py::ssize_t n = static_cast<py::ssize_t>(xy.size() / 2);
  py::array_t<double> a({n, py::ssize_t{2}});
  if (n > 0) std::memcpy(a.mutable_data(), xy.data(), xy.size() * sizeof(double));
  return a;
}

// Runs f without the GIL; a Failure raised there becomes the Python error
// once the GIL is back.
template <class F>
void nogil(F f) {
  py::gil_scoped_release release;
  f();
}

void raise_failure(const Failure& f) {
  py::object text = py::bytes(f.text).attr("decode")(f.utf8 ? "utf-8" : "cp932", "replace");
  std::string s = text.cast<std::string>();
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  py::object error = py::reinterpret_borrow<py::object>(isovar_error)(s);
  error.attr("limit_reached") = f.limit;
  PyErr_SetObject(isovar_error, error.ptr());
}

// ---- Models ---------------------------------------------------------------

std::unique_ptr<Model> grid(py::array_t<double, py::array::c_style | py::array::forcecast> x,
                            py::array_t<double, py::array::c_style | py::array::forcecast> y,
                            py::array_t<double, py::array::c_style | py::array::forcecast> z, const Info& info,
                            Large large, std::optional<std::pair<double, double>> origin) {
  if (x.ndim() != 1 || y.ndim() != 1 || z.ndim() != 2 || z.shape(0) != y.shape(0) || z.shape(1) != x.shape(0))
    throw py::value_error("z: shape must be (len(y), len(x))");
  if (x.shape(0) > INT32_MAX || y.shape(0) > INT32_MAX) throw py::value_error("x, y: too many points");
  auto model = std::make_unique<Model>();
  const auto nx = static_cast<int32_t>(x.shape(0)), ny = static_cast<int32_t>(y.shape(0));
  const double *px = x.data(), *py_ = y.data(), *pz = z.data();
  nogil([&] {
    InfoView view(info);
    model->build(large, [&](IsovarModel* m, int32_t l, char* err) {
      return origin ? isovarModelGridAt(m, origin->first, origin->second, nx, ny, px, py_, pz, &view.c, l, err)
                    : isovarModelGrid(m, nx, ny, px, py_, pz, &view.c, l, err);
    });
  });
  return model;
}

std::unique_ptr<Model> mesh(py::array_t<double, py::array::c_style | py::array::forcecast> x,
                            py::array_t<double, py::array::c_style | py::array::forcecast> y,
                            py::array_t<double, py::array::c_style | py::array::forcecast> values,
                            py::array_t<int32_t, py::array::c_style | py::array::forcecast> cells, const Info& info,
                            Large large) {
  if (x.ndim() != 1 || y.size() != x.size() || values.size() != x.size())
    throw py::value_error("x, y, values: one value each per node");
  if (cells.ndim() != 2 || cells.shape(1) != 4) throw py::value_error("cells: shape must be (n, 4)");
  if (x.shape(0) > INT32_MAX || cells.shape(0) > INT32_MAX) throw py::value_error("x, cells: too many");
  auto model = std::make_unique<Model>();
  const auto nodes = static_cast<int32_t>(x.shape(0)), count = static_cast<int32_t>(cells.shape(0));
  const double *px = x.data(), *py_ = y.data(), *pv = values.data();
  const int32_t* pc = cells.data();
  nogil([&] {
    InfoView view(info);
    model->build(large, [&](IsovarModel* m, int32_t l, char* err) {
      return isovarModelMesh(m, nodes, px, py_, pv, count, pc, &view.c, l, err);
    });
  });
  return model;
}

std::unique_ptr<Model> read_file(const std::string& path, Large large) {
  auto model = std::make_unique<Model>();
  nogil([&] {
    model->build(large,
                 [&](IsovarModel* m, int32_t l, char* err) { return isovarModelRead(m, path.c_str(), l, err); });
  });
  return model;
}

py::dict summary(const Model& model) {
  IsovarModelSummary s;
  nogil([&] { s = model.summary(); });  // the model may be held by a call under way
  py::dict d;
  d["kind"] = s.kind == 1 ? "mesh" : "grid";
  d["large"] = s.large != 0;
  d["display_mode"] = s.display_mode;
  std::vector<double> levels(s.levels, s.levels + s.level_count);
  std::vector<bool> bold, labelled;
  for (int32_t k = 0; k < s.level_count; ++k) {
    bold.push_back(s.bold[k] != 0);
    labelled.push_back(s.labelled[k] != 0);
  }
  d["levels"] = levels;
  d["bold"] = bold;
  d["labelled"] = labelled;
  py::list titles;
  for (int32_t t = 0; t < s.title_count; ++t) titles.append(py::bytes(s.titles[t]));
  d["titles"] = titles;
  d["extent"] = py::make_tuple(s.xmin, s.xmax, s.ymin, s.ymax);
  return d;
}

// ---- Results in memory ----------------------------------------------------

// The polylines, grouped by level index: a list of level_count lists of
// (N, 2) arrays. A quarter of a million small arrays is most of the work done
// with the GIL, so each level's points are one block and its lines are views
// of it, made through numpy's own constructor with lists of their final
// length; where there is much to copy, the blocks are filled from the run's
// tables on another thread while the views are made.
py::list lines(const Model& model, const std::optional<Info>& override_info, Large large, int32_t level_count,
               int32_t threads) {
  const std::size_t levels = static_cast<std::size_t>(level_count > 0 ? level_count : 0);
  py::list out(levels);
  nogil([&] {
    RunHandle r(model.is_large() || large.value_or(true));
    model.use(override_info, [&](const IsovarModel* m) {
      with_run(r, m, large, false, threads, [&](IsovarRun* run, char* err) { return isovarRunTrace(run, m, 0, err); });
      const auto count = static_cast<std::size_t>(isovarRunLineCount(r.run));
      std::vector<int32_t> level(count), points(count);
      std::vector<py::ssize_t> lines_of(levels, 0);
      std::vector<Py_intptr_t> points_of(levels, 0);
      for (std::size_t i = 0; i < count; ++i) {
        int32_t k = -1;
        const int32_t n = isovarRunLine(r.run, static_cast<int32_t>(i), &k, nullptr, nullptr);
        level[i] = k >= 0 && static_cast<std::size_t>(k) < levels ? k : -1;
        points[i] = n > 0 ? n : 0;
        if (level[i] < 0) continue;
        ++lines_of[static_cast<std::size_t>(k)];
        points_of[static_cast<std::size_t>(k)] += points[i];
      }
      std::vector<double*> dst(count, nullptr);
      std::size_t total = 0;
      for (const Py_intptr_t n : points_of) total += static_cast<std::size_t>(n);
      const auto fill = [&](std::size_t from, std::size_t step) {
        for (std::size_t i = from; i < count; i += step)
          if (dst[i] != nullptr && points[i] > 0) isovarRunLine(r.run, static_cast<int32_t>(i), nullptr, nullptr, dst[i]);
      };
      py::gil_scoped_acquire gil;
      using api_t = py::detail::npy_api;
      auto& api = api_t::get();
      const py::object descr = py::reinterpret_steal<py::object>(api.PyArray_DescrFromType_(api_t::NPY_DOUBLE_));
      if (!descr) throw py::error_already_set();
      // Each constructor call takes a reference to the descriptor.
      const auto make = [&](Py_intptr_t n, double* data, int flags) {
        const Py_intptr_t shape[2] = {n, 2};
        Py_INCREF(descr.ptr());
        PyObject* a = api.PyArray_NewFromDescr_(api.PyArray_Type_, descr.ptr(), 2, shape, nullptr, data, flags, nullptr);
        if (a == nullptr) throw py::error_already_set();
        return a;
      };
      std::vector<py::object> blocks(levels);
      std::vector<double*> next(levels);
      for (std::size_t k = 0; k < levels; ++k) {
        blocks[k] = py::reinterpret_steal<py::object>(make(points_of[k], nullptr, 0));
        next[k] = reinterpret_cast<double*>(py::detail::array_proxy(blocks[k].ptr())->data);
        out[k] = py::list(lines_of[k]);
      }
      for (std::size_t i = 0; i < count; ++i) {
        if (level[i] < 0) continue;
        const auto k = static_cast<std::size_t>(level[i]);
        dst[i] = next[k];
        next[k] += 2 * static_cast<std::size_t>(points[i]);
      }
      // The points are copied into the blocks on another thread while this
      // one makes the views; it is joined before the blocks can go, also
      // when a view cannot be made.
      struct Copier {
        std::thread thread;
        ~Copier() {
          if (thread.joinable()) thread.join();
        }
      } copier;
      if (total >= (std::size_t{1} << 18) && std::thread::hardware_concurrency() > 1) {
        try {
          copier.thread = std::thread(fill, 0, 1);
        } catch (const std::system_error&) {
        }
      }
      constexpr int kViewFlags = api_t::NPY_ARRAY_C_CONTIGUOUS_ | api_t::NPY_ARRAY_ALIGNED_ | api_t::NPY_ARRAY_WRITEABLE_;
      std::vector<py::ssize_t> filled(levels, 0);
      for (std::size_t i = 0; i < count; ++i) {
        if (dst[i] == nullptr) continue;
        const auto k = static_cast<std::size_t>(level[i]);
        PyObject* view = make(points[i], dst[i], kViewFlags);
        if (api.PyArray_SetBaseObject_(view, blocks[k].inc_ref().ptr()) != 0) {
          Py_DECREF(view);
          throw py::error_already_set();
        }
        PyList_SET_ITEM(out[k].ptr(), filled[k]++, view);  // the list takes the view
      }
      py::gil_scoped_release unlocked;  // while the copy ends, or is made here
      if (copier.thread.joinable())
        copier.thread.join();
      else
        fill(0, 1);
    });
  });
  return out;
}

// The band polygons: a list of level_count + 1 lists (band 0 below the
// lowest level) of polygons, each a list of rings (outer first), each ring
// closed (its first point repeated).
py::list bands(const Model& model, const std::optional<Info>& override_info, Large large, int32_t level_count,
               int32_t threads) {
  struct Band {
    int32_t number;
    std::vector<std::vector<std::vector<double>>> polygons;
  };
  std::vector<Band> result;
  nogil([&] {
    RunHandle r(model.is_large() || large.value_or(true));
    model.use(override_info, [&](const IsovarModel* m) {
      with_run(r, m, large, false, threads, [&](IsovarRun* run, char* err) {
        if (isovarRunTrace(run, m, 1, err) != 0) return -1;
        return isovarRunBands(run, err);
      });
      const int32_t count = isovarRunBandCount(r.run);
      for (int32_t i = 0; i < count; ++i) {
        Band b;
        const int32_t polygons = isovarRunBand(r.run, i, &b.number);
        for (int32_t p = 0; p < polygons; ++p) {
          std::vector<std::vector<double>> rings;
          int32_t ring_count = 1;
          for (int32_t k = 0; k < ring_count; ++k) {
            const int32_t n = isovarRunBandRing(r.run, i, p, k, &ring_count, nullptr);
            if (n <= 0) continue;
            std::vector<double> xy(2 * static_cast<std::size_t>(n) + 2);
            isovarRunBandRing(r.run, i, p, k, nullptr, xy.data());
            xy[2 * static_cast<std::size_t>(n)] = xy[0];
            xy[2 * static_cast<std::size_t>(n) + 1] = xy[1];
            rings.push_back(std::move(xy));
          }
          b.polygons.push_back(std::move(rings));
        }
        result.push_back(std::move(b));
      }
    });
  });
  py::list out;
  for (int32_t k = 0; k <= level_count; ++k) out.append(py::list());
  for (const Band& b : result) {
    if (b.number < 0 || b.number > level_count) continue;
    py::list target(out[static_cast<std::size_t>(b.number)]);
    for (const auto& polygon : b.polygons) {
      py::list rings;
      for (const auto& ring : polygon) rings.append(points_array(ring));
      target.append(rings);
    }
  }
  return out;
}

// ---- Pictures and files ---------------------------------------------------

struct Picture {
  int width;
  int height;
  bool fill;
};

// Draws the model on hdc in a run of its own, the display list written to
// display_list when it is not empty.
void draw(const Model& model, const std::optional<Info>& override_info, Large large, const Picture& pic, HDC hdc,
          const std::string& display_list, int32_t threads) {
  RunHandle r(model.is_large() || large.value_or(true));
  model.use(override_info, [&](const IsovarModel* m) {
    with_run(r, m, large, pic.fill, threads, [&](IsovarRun* run, char* err) {
      return isovarRunDraw(run, m, hdc, pic.width, pic.height, display_list.empty() ? nullptr : display_list.c_str(),
                           err);
    });
  });
}

py::array_t<uint8_t> plot(const Model& model, const std::optional<Info>& override_info, Large large,
                          const Picture& pic, int32_t threads) {
  py::array_t<uint8_t> out({py::ssize_t{pic.height}, py::ssize_t{pic.width}, py::ssize_t{3}});
  uint8_t* dst = out.mutable_data();
  nogil([&] {
    SurfaceHandle surface(pic.width, pic.height, false);
    draw(model, override_info, large, pic, surface.hdc, {}, threads);
    int w = 0, h = 0;
    const uint32_t* bits = GetSurfaceBits(surface.hdc, &w, &h);
    if (bits == nullptr || w != pic.width || h != pic.height) throw Failure{"cannot read the picture back"};
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    for (std::size_t i = 0; i < n; ++i) {
      const uint32_t p = bits[i];  // 0x00RRGGBB
      dst[3 * i] = static_cast<uint8_t>(p >> 16);
      dst[3 * i + 1] = static_cast<uint8_t>(p >> 8);
      dst[3 * i + 2] = static_cast<uint8_t>(p);
    }
  });
  return out;
}

// Writes the picture to path as format "png", "bmp" or "svg", or the
// display list (format "display_list").
void save_picture(const Model& model, const std::optional<Info>& override_info, Large large, const Picture& pic,
                  const std::string& format, const std::string& path, int32_t threads) {
  if (format != "png" && format != "bmp" && format != "svg" && format != "display_list")
    throw py::value_error("format: not a picture format: " + format);
  nogil([&] {
    SurfaceHandle surface(pic.width, pic.height, format == "svg");
    if (format == "display_list") {
      draw(model, override_info, large, pic, surface.hdc, path, threads);
      return;
    }
    RunHandle r(model.is_large() || large.value_or(true));
    model.use(override_info, [&](const IsovarModel* m) {
      with_run(r, m, large, pic.fill, threads, [&](IsovarRun* run, char* err) {
        return isovarRunDraw(run, m, surface.hdc, pic.width, pic.height, nullptr, err);
      });
    });
    if (format == "bmp") {
      char err[ISOVAR_ERRMSG_SIZE] = {};
      errno = 0;
      if (isovarRunSaveBMP(r.run, surface.hdc, path.c_str(), err) != 0) {
        const int error = errno;
        if (error != 0) throw Failure{files::write_failure(path, error), false, true};
        throw Failure{err};
      }
    } else if (format == "png") {
      int w = 0, h = 0;
      const uint32_t* bits = GetSurfaceBits(surface.hdc, &w, &h);
      std::string png;
      if (bits == nullptr || !isovar_plot::encode_png(bits, w, h, &png))
        throw Failure{"cannot make the PNG picture for " + path, false, true};
      write_whole(path, png.data(), png.size());
    } else {
      std::size_t size = 0;
      const char* svg = GetSurfaceSvg(surface.hdc, &size);
      if (svg == nullptr) throw Failure{"cannot make the SVG picture for " + path, false, true};
      write_whole(path, svg, size);
    }
  });
}

// The polylines ("lines") or band polygons ("bands") as the library's
// GeoJSON file at path.
void save_geojson(const Model& model, const std::optional<Info>& override_info, Large large, const std::string& kind,
                  const std::string& path, int32_t threads) {
  if (kind != "lines" && kind != "bands") throw py::value_error("kind: \"lines\" or \"bands\", not " + kind);
  nogil([&] {
    RunHandle r(model.is_large() || large.value_or(true));
    const bool bands = kind == "bands";
    model.use(override_info, [&](const IsovarModel* m) {
      if (!bands) {
        // Traced and written in one go: a large grid's lines go to the file
        // as they are finished, never all held.
        int error = 0;
        try {
          with_run(r, m, large, false, threads, [&](IsovarRun* run, char* err) {
            errno = 0;
            const int32_t result = isovarRunStreamIsolines(run, m, path.c_str(), err);
            error = result != 0 ? errno : 0;
            return result;
          });
        } catch (const Failure& f) {
          if (error != 0 && !f.limit) throw Failure{files::write_failure(path, error), false, true};
          throw;
        }
        return;
      }
      with_run(r, m, large, false, threads,
               [&](IsovarRun* run, char* err) { return isovarRunTrace(run, m, bands ? 1 : 0, err); });
      char err[ISOVAR_ERRMSG_SIZE] = {};
      errno = 0;
      const int32_t result = bands ? isovarRunSaveBands(r.run, path.c_str(), err)
                                   : isovarRunSaveIsolines(r.run, path.c_str(), err);
      if (result != 0) {
        const int error = errno;
        if (error != 0) throw Failure{files::write_failure(path, error), false, true};
        throw Failure{err};
      }
    });
  });
}

void write_file(const std::string& path, const py::bytes& data) {
  std::string bytes = data;
  nogil([&] { write_whole(path, bytes.data(), bytes.size()); });
}

}  // namespace

PYBIND11_MODULE(_isovar, m) {
  m.doc() = "The compiled part of isovar: models and runs of IsovarLib (use the isovar package).";
  isovar_error = PyErr_NewExceptionWithDoc(
      "isovar.IsovarError",
      "A failure of the library (its message, decoded from code page 932) or of a file write. "
      "limit_reached is True when a default table's limit was the cause.",
      PyExc_ValueError, nullptr);
  m.attr("IsovarError") = py::reinterpret_borrow<py::object>(isovar_error);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const Failure& f) {
      raise_failure(f);
    }
  });

  py::class_<Info>(m, "Info")
      .def(py::init<>())
      .def_readwrite("levels", &Info::levels)
      .def_readwrite("bold", &Info::bold)
      .def_readwrite("labelled", &Info::labelled)
      .def_readwrite("titles", &Info::titles)
      .def_readwrite("display_mode", &Info::display_mode);

  py::class_<Picture>(m, "Picture")
      .def(py::init([](int width, int height, bool fill) { return Picture{width, height, fill}; }), py::arg("width"),
           py::arg("height"), py::arg("fill"));

  py::class_<Model>(m, "Model")
      .def("summary", &summary)
      .def("set_info", &Model::set_info, py::call_guard<py::gil_scoped_release>())
      .def("lines", &lines, py::arg("override"), py::arg("large"), py::arg("level_count"), py::arg("threads") = 0)
      .def("bands", &bands, py::arg("override"), py::arg("large"), py::arg("level_count"), py::arg("threads") = 0)
      .def("plot", &plot, py::arg("override"), py::arg("large"), py::arg("picture"), py::arg("threads") = 0)
      .def("save_picture", &save_picture, py::arg("override"), py::arg("large"), py::arg("picture"),
           py::arg("format"), py::arg("path"), py::arg("threads") = 0)
      .def("save_geojson", &save_geojson, py::arg("override"), py::arg("large"), py::arg("kind"), py::arg("path"),
           py::arg("threads") = 0);

  m.def("grid", &grid, py::arg("x"), py::arg("y"), py::arg("z"), py::arg("info"), py::arg("large"),
        py::arg("origin"));
  m.def(
      "axis_origin",
      [](py::array_t<double, py::array::c_style | py::array::forcecast> v) {
        return isovarAxisOrigin(static_cast<int64_t>(v.size()), v.data());
      },
      py::arg("v"));
  m.def("mesh", &mesh, py::arg("x"), py::arg("y"), py::arg("values"), py::arg("cells"), py::arg("info"),
        py::arg("large"));
  m.def("read", &read_file, py::arg("path"), py::arg("large"));
  m.def(
      "release_runs", [] { run_pool().release(); },
      "Frees the runs kept for the calls that follow, and the memory of their tables.");
  m.def("write_file", &write_file, py::arg("path"), py::arg("data"),
        "Writes data to path whole: the file is replaced only when complete.");
}
