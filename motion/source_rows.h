// The source table: the points of a POI list row for row, as latitude, longitude, description and
// the distance from the list's first point, the blank tail last. The rows are read from the list
// when they are asked for, so that showing a million points costs nothing beyond the list itself;
// a copy shares the list and keeps it alive.
#pragma once

#include <memory>

#include "motion/table.h"
#include "route/planar_offset.h"
#include "sources/poi_file.h"

namespace wayloom {

class SourceRows : public TableRows {
 public:
  // Without a list: the one row "Poi list is empty".
  SourceRows() = default;
  explicit SourceRows(std::shared_ptr<const PoiList> list);

  std::size_t RowCount() const override { return list_ ? list_->size() : 1; }
  std::size_t ColumnCount() const override;
  const TableColumn& Column(std::size_t index) const override;
  std::string Cell(std::size_t row, std::size_t column) const override;

  const std::shared_ptr<const PoiList>& List() const { return list_; }

 private:
  std::shared_ptr<const PoiList> list_;
  // Where distances are measured from: the first point (none is shown while it has a coordinate
  // of exactly 0, counted as absent).
  GeoPoint reference_;
};

}  // namespace wayloom
