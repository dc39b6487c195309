#include "direct.h"

#include <fcntl.h>
#include <gdal.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>

#include "cp932.h"
#include "diagnosis.h"
#include "options.h"

namespace isovar_plot {

namespace {

constexpr std::size_t kHeadSize = 4096;


// The first bytes of the file; false when it cannot be read.
bool head_of(const std::string& path, std::string* head) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  head->resize(kHeadSize);
  std::size_t got = 0;
  while (got < kHeadSize) {
    const ssize_t n = read(fd, head->data() + got, kHeadSize - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  head->resize(got);
  return got > 0;
}

bool gdal_identifies(const std::string& path) {
  GDALAllRegister();
  return GDALIdentifyDriver(path.c_str(), nullptr) != nullptr;
}

}  // namespace

InputKind input_kind(const std::string& input, const convert::SourceRequest& request) {
  switch (request.kind) {
    case convert::SourceKind::raster:
      return InputKind::kRaster;
    case convert::SourceKind::table:
      return InputKind::kTable;
    case convert::SourceKind::mesh:
      return InputKind::kMesh;
    case convert::SourceKind::automatic:
      break;
  }
  const std::string ending = convert::lower_extension(input);
  if (input == kStandardInput || ending == ".isovar" || ending == ".iso") return InputKind::kModel;
  std::string head;
  if (!head_of(input, &head)) return InputKind::kModel;
  const Looks look = look_at(head).kind;
  switch (convert::source_kind_of(input)) {
    case convert::SourceKind::table:
      return look == Looks::kTable ? InputKind::kTable : InputKind::kModel;
    case convert::SourceKind::mesh:
      return look == Looks::kMesh ? InputKind::kMesh : InputKind::kModel;
    default:
      if (look == Looks::kRaster || look == Looks::kImage) return InputKind::kRaster;
      return look == Looks::kBinary && gdal_identifies(input) ? InputKind::kRaster : InputKind::kModel;
  }
}

namespace {

// A raster's rows put into the model as they are read: the grid is built
// from the raster's blocks, without a copy of its own.
class RowsIntoModel : public convert::RowSink {
 public:
  RowsIntoModel(convert::RasterRows& raster, bool progress) : raster_(raster), progress_(progress) {}

  // isovarModelGridRows' fill.
  static int32_t fill(void* user, IsovarGridRowPut put, void* context) {
    auto* self = static_cast<RowsIntoModel*>(user);
    self->put_ = put;
    self->context_ = context;
    try {
      convert::Progress shown(self->progress_);
      self->raster_.read(*self, shown);
      return 0;
    } catch (const Refused&) {
    } catch (const convert::Failure& failure) {
      self->failure_ = failure.what();
    } catch (const std::bad_alloc&) {
      self->failure_ = "not enough memory to read it";
    } catch (const std::exception& e) {
      self->failure_ = e.what();
    }
    return -1;
  }
  void row(size_t j, const double* values) override {
    if (put_(context_, static_cast<int32_t>(j), values) != 0) throw Refused{};
  }
  // Why fill failed on its own; empty when the model refused a value.
  const std::string& failure() const { return failure_; }

 private:
  struct Refused {};
  convert::RasterRows& raster_;
  bool progress_;
  IsovarGridRowPut put_ = nullptr;
  void* context_ = nullptr;
  std::string failure_;
};

// The model's message, trimmed for a message of ours.
std::string model_message(const char* err) {
  std::string text = printable(cp932::to_utf8(err));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
  return text;
}

}  // namespace

std::string load_direct(const std::string& path, InputKind kind, const convert::SourceRequest& request,
                        bool progress, DirectModel* out) {
  convert::SourceRequest asked = request;
  asked.kind = kind == InputKind::kTable  ? convert::SourceKind::table
               : kind == InputKind::kMesh ? convert::SourceKind::mesh
                                          : convert::SourceKind::raster;
  convert::Source source;
  std::unique_ptr<convert::RasterRows> raster;
  try {
    if (kind == InputKind::kRaster) {
      raster = std::make_unique<convert::RasterRows>(path, asked);
    } else {
      convert::Progress shown(progress);
      source = convert::load_source(path, asked, shown);
    }
  } catch (const convert::Failure& failure) {
    return failure.what();
  } catch (const std::bad_alloc&) {
    return "not enough memory to read it";
  }
  ModelPtr model(isovarModelNew());
  if (model == nullptr) return "not enough memory for its model";
  char err[ISOVAR_ERRMSG_SIZE] = {};
  if (raster != nullptr) {
    // The grid first, then its levels, which the values' range decides.
    const convert::Source& axes = raster->source();
    if (axes.x.size() > INT32_MAX || axes.y.size() > INT32_MAX) return "the grid is too large";
    RowsIntoModel rows(*raster, progress);
    if (isovarModelGridRows(model.get(), static_cast<int32_t>(axes.x.size()), static_cast<int32_t>(axes.y.size()),
                            axes.x.data(), axes.y.data(), RowsIntoModel::fill, &rows, nullptr, 1, err) != 0)
      return rows.failure().empty() ? model_message(err) : rows.failure();
    source = std::move(raster->source());
  }
  std::vector<double> levels;
  std::vector<int32_t> bold, labelled;
  for (const convert::Level& level : source.levels) {
    levels.push_back(level.value);
    bold.push_back(level.bold ? 1 : 0);
    labelled.push_back(level.labelled ? 1 : 0);
  }
  std::vector<const char*> titles;
  for (const std::string& title : source.titles) titles.push_back(title.c_str());
  IsovarModelInfo info = {static_cast<int32_t>(levels.size()),
                          levels.data(),
                          bold.data(),
                          labelled.data(),
                          static_cast<int32_t>(titles.size()),
                          titles.data(),
                          source.full ? 2 : 1};
  int32_t built;
  if (raster != nullptr) {
    built = isovarModelSetInfo(model.get(), &info, err);
  } else if (source.is_grid) {
    if (source.x.size() > INT32_MAX || source.y.size() > INT32_MAX) return "the grid is too large";
    built = isovarModelGrid(model.get(), static_cast<int32_t>(source.x.size()), static_cast<int32_t>(source.y.size()),
                            source.x.data(), source.y.data(), source.z.data(), &info, 1, err);
  } else {
    if (source.node_x.size() > INT32_MAX || source.cells.size() / 4 > INT32_MAX) return "the mesh is too large";
    built = isovarModelMesh(model.get(), static_cast<int32_t>(source.node_x.size()), source.node_x.data(),
                            source.node_y.data(), source.node_value.data(),
                            static_cast<int32_t>(source.cells.size() / 4), source.cells.data(), &info, 1, err);
  }
  if (built != 0) return model_message(err);
  out->model = std::move(model);
  out->crs_wkt = std::move(source.crs_wkt);
  out->notes = std::move(source.notes);
  return {};
}

}  // namespace isovar_plot
