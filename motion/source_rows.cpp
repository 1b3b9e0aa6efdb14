#include "motion/source_rows.h"

#include <cmath>
#include <utility>

#include "base/number_text.h"

namespace wayloom {
namespace {

const TableColumn kColumns[] = {{"Latitude"}, {"Longitude"}, {"Description"}, {"Distance"}};

GeoPoint PointOf(const PoiView& node) {
  return GeoPoint{ParseDecimal(node.szLat), ParseDecimal(node.szLon)};
}

}  // namespace

SourceRows::SourceRows(std::shared_ptr<const PoiList> list) : list_(std::move(list)) {
  if (list_ && list_->size() > 1) reference_ = PointOf((*list_)[0]);
}

std::size_t SourceRows::ColumnCount() const { return std::size(kColumns); }

const TableColumn& SourceRows::Column(std::size_t index) const { return kColumns[index]; }

std::string SourceRows::Cell(std::size_t row, std::size_t column) const {
  if (!list_) return row == 0 && column == 0 ? "Poi list is empty" : "";
  if (row >= list_->size()) return {};
  const PoiView node = (*list_)[row];
  switch (column) {
    case 0:
      return std::string(node.szLat);
    case 1:
      return std::string(node.szLon);
    case 2:
      return std::string(node.szDescription);
    case 3: {
      const GeoPoint point = PointOf(node);
      double east = 0.0;
      double north = 0.0;
      if (!PlanarOffset(reference_, point.longitude, point.latitude, east, north)) return {};
      std::string distance;
      AppendFixed(distance, std::sqrt(east * east + north * north) * 0.001, 3);
      return distance + " km";
    }
    default:
      return {};
  }
}

}  // namespace wayloom
