// Map tiles the benchmarks and the screenshots make for themselves, so that neither ever asks a
// tile server: a plain test pattern, each tile a pale ground with a fine grid, its border and its
// own name (ZOOM/X/Y), written as a folder of ZOOM/X/Y.png tiles.
#pragma once

#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>

#include "dialog/map_track.h"
#include "dialog/tiles/tile_layout.h"
#include "dialog/track_map.h"

// Writes the tiles of zooms 0 to maxZoom that cover area (in the map's world units) into folder;
// the number of tiles written, or -1 when one cannot be written.
inline int WritePatternTiles(const QString& folder, const WorldBox& area, int maxZoom) {
  int written = 0;
  for (int zoom = 0; zoom <= maxZoom; ++zoom) {
    const int n = 1 << zoom;
    const auto tile = [n](double world) {
      return std::clamp(int(std::floor(world * n)), 0, n - 1);
    };
    for (int x = tile(area.left); x <= tile(area.right); ++x) {
      for (int y = tile(area.top); y <= tile(area.bottom); ++y) {
        QImage image(kTilePixels, kTilePixels, QImage::Format_RGB32);
        // A shade a zoom, so that a coarser tile standing in for a finer one shows as such.
        image.fill(QColor::fromHsv(200 - 12 * (zoom % 8), 18, 246));
        QPainter painter(&image);
        painter.setPen(QColor(200, 212, 222));
        for (int line = 32; line < kTilePixels; line += 32) {
          painter.drawLine(line, 0, line, kTilePixels);
          painter.drawLine(0, line, kTilePixels, line);
        }
        painter.setPen(QColor(150, 168, 186));
        painter.drawRect(0, 0, kTilePixels - 1, kTilePixels - 1);
        QFont font;
        font.setPixelSize(14);
        painter.setFont(font);
        painter.drawText(QRect(0, 0, kTilePixels, kTilePixels), Qt::AlignCenter,
                         TileName(TileKey{zoom, x, y}));
        painter.end();
        const QString column = QStringLiteral("%1/%2/%3").arg(folder).arg(zoom).arg(x);
        if (!QDir().mkpath(column) || !image.save(QStringLiteral("%1/%2.png").arg(column).arg(y))) {
          return -1;
        }
        ++written;
      }
    }
  }
  return written;
}

// The tiles of what the map shows and a view's width and height around it, down to a zoom finer
// than the view's: what a wheel step in or a pan by a whole view needs. Returns the count written.
inline int WritePatternTilesAround(const CTrackMap& map, const QString& folder, int* deepest) {
  const double scale = map.ScreenPos(WorldPoint{1, 0}).x() - map.ScreenPos(WorldPoint{0, 0}).x();
  *deepest = TileZoomFor(scale, map.devicePixelRatioF(), 0, kDeepestTileZoom) + 1;
  WorldBox area;
  const WorldPoint topLeft = map.WorldAt(QPointF(-map.width(), -map.height()));
  const WorldPoint bottomRight = map.WorldAt(QPointF(2 * map.width(), 2 * map.height()));
  area.Add(std::clamp(topLeft.x, 0.0, 1.0), std::clamp(topLeft.y, 0.0, 1.0));
  area.Add(std::clamp(bottomRight.x, 0.0, 1.0), std::clamp(bottomRight.y, 0.0, 1.0));
  return WritePatternTiles(folder, area, *deepest);
}
