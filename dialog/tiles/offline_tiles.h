// Tiles kept on disk, for use without a network: an MBTiles file (an SQLite database whose table
// "tiles" holds each tile's image by zoom_level, tile_column and tile_row, rows numbered from the
// south) or a folder of tiles as a tile server lays them out, ZOOM/X/Y.png (or .jpg).
#pragma once

#include <QString>
#include <memory>

#include "dialog/tiles/tile_source.h"

class OfflineTileSource : public TileSource {
  Q_OBJECT

 public:
  // The source, or null with *error saying why the file or folder cannot be used. attribution:
  // the credit to show; empty: the file's own (its metadata), else OpenStreetMap's.
  static std::unique_ptr<OfflineTileSource> OpenMBTiles(const QString& path,
                                                        const QString& attribution,
                                                        const TileLoading& loading, QString* error);
  static std::unique_ptr<OfflineTileSource> OpenFolder(const QString& path,
                                                       const QString& attribution,
                                                       const TileLoading& loading, QString* error);

 private:
  OfflineTileSource(const TileLoading& loading, std::unique_ptr<TileReader> reader,
                    QString attribution, int minZoom, int maxZoom)
      : TileSource(loading, std::move(reader), std::move(attribution), minZoom, maxZoom, nullptr) {}
};
