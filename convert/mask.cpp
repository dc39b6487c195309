#include "mask.h"

#include <cpl_error.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <mutex>

#include "model.h"

namespace convert {

namespace {

// OGR's messages go to ours, not to standard error.
class QuietOgr {
 public:
  QuietOgr() {
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietOgr() { CPLPopErrorHandler(); }
  QuietOgr(const QuietOgr&) = delete;
  QuietOgr& operator=(const QuietOgr&) = delete;
};

std::string ogr_reason(const char* otherwise) {
  const char* text = CPLGetLastErrorMsg();
  return text != nullptr && *text != '\0' ? std::string(text) : std::string(otherwise);
}

// The polygons of a geometry, curves made linear, into out.
void add_polygons(const OGRGeometry* g, OGRMultiPolygon& out) {
  if (g == nullptr || g->IsEmpty()) return;
  const OGRwkbGeometryType type = wkbFlatten(g->getGeometryType());
  if (type == wkbPolygon) {
    out.addGeometry(g);
  } else if (type == wkbCurvePolygon || type == wkbMultiSurface) {
    std::unique_ptr<OGRGeometry> linear(g->getLinearGeometry());
    add_polygons(linear.get(), out);
  } else if (OGR_GT_IsSubClassOf(type, wkbGeometryCollection)) {
    for (const OGRGeometry* part : *g->toGeometryCollection()) add_polygons(part, out);
  }
}

}  // namespace

struct TriangleMask::Area {
  std::unique_ptr<OGRGeometry> shape;
  OGRPreparedGeometryUniquePtr prepared;
};

TriangleMask::TriangleMask(double max_edge, const std::string& boundary, const std::string& crs_wkt)
    : max_edge_(max_edge) {
  if (boundary.empty()) return;
  QuietOgr quiet;
  const std::string which = "the boundary " + boundary;
  GDALDatasetUniquePtr ds(GDALDataset::Open(boundary.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!ds) throw Failure(which + ": cannot open as a vector file: " + ogr_reason("not a file OGR reads"));
  if (ds->GetLayerCount() < 1) throw Failure(which + " has no layer");
  OGRLayer* layer = ds->GetLayer(0);
  OGRMultiPolygon polygons;
  for (const auto& feature : *layer) add_polygons(feature->GetGeometryRef(), polygons);
  if (polygons.IsEmpty()) throw Failure(which + ": its first layer holds no polygon");
  const OGRSpatialReference* layer_crs = layer->GetSpatialRef();
  if (layer_crs != nullptr && !crs_wkt.empty()) {
    OGRSpatialReference points_crs;
    points_crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (points_crs.importFromWkt(crs_wkt.c_str()) != OGRERR_NONE)
      throw Failure("the CRS of the points is not WKT GDAL reads");
    if (!layer_crs->IsSame(&points_crs)) {
      OGRSpatialReference* from = layer_crs->Clone();
      from->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
      polygons.assignSpatialReference(from);
      from->Release();
      if (polygons.transformTo(&points_crs) != OGRERR_NONE)
        throw Failure(which + ": its polygons cannot be transformed into the points' CRS: " +
                      ogr_reason("no transformation"));
    }
  }
  area_ = std::make_unique<Area>();
  // Polygons that touch or overlap count as one area: a centroid on their
  // shared edge is inside.
  area_->shape.reset(polygons.UnionCascaded());
  if (area_->shape == nullptr) throw Failure(which + ": its polygons cannot be joined: " + ogr_reason("invalid"));
  area_->prepared.reset(OGRCreatePreparedGeometry(OGRGeometry::ToHandle(area_->shape.get())));
  if (!area_->prepared) throw Failure(which + ": GDAL is built without GEOS, which the boundary needs");
}

TriangleMask::~TriangleMask() = default;

bool TriangleMask::keeps(const double x[3], const double y[3]) const {
  if (max_edge_ > 0)
    for (int k = 0; k < 3; ++k) {
      const int n = (k + 1) % 3;
      if (std::hypot(x[n] - x[k], y[n] - y[k]) > max_edge_) return false;
    }
  if (area_ != nullptr) {
    const OGRPoint centroid((x[0] + x[1] + x[2]) / 3, (y[0] + y[1] + y[2]) / 3);
    if (!OGRPreparedGeometryContains(area_->prepared.get(), OGRGeometry::ToHandle(const_cast<OGRPoint*>(&centroid))))
      return false;
  }
  return true;
}

std::string masked_note(size_t dropped, size_t kept) {
  return std::to_string(dropped) + (dropped == 1 ? " triangle" : " triangles") +
         " outside the mask (--max-edge, --boundary) left out, " + std::to_string(kept) + " kept";
}

}  // namespace convert
