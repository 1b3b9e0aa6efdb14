#include "dialog/tiles/tile_layout.h"

#include <QHashFunctions>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kSmallestTilePixels = 32.0;

// The range of tile numbers from the first tile that reaches past low to the last that starts
// before high (both in tiles), widened by border and kept within the world's n tiles.
struct TileSpan {
  int first = 0;
  int last = -1;
};

TileSpan SpanOf(double low, double high, int border, double n) {
  const double first = std::max(std::floor(low) - border, 0.0);
  const double last = std::min(std::ceil(high) - 1.0 + border, n - 1.0);
  if (!(first <= last)) return TileSpan{};
  return TileSpan{static_cast<int>(first), static_cast<int>(last)};
}

}  // namespace

size_t qHash(const TileKey& key, size_t seed) { return qHashMulti(seed, key.zoom, key.x, key.y); }

QString TileName(const TileKey& key) {
  return QStringLiteral("%1/%2/%3").arg(key.zoom).arg(key.x).arg(key.y);
}

int TileZoomFor(double pixelsPerWorld, double devicePixelRatio, int minZoom, int maxZoom) {
  const double tilesAcross = pixelsPerWorld * devicePixelRatio / kTilePixels;
  if (!std::isfinite(tilesAcross) || !(tilesAcross > 0.0)) return -1;
  maxZoom = std::min(maxZoom, kDeepestTileZoom);
  // The first zoom with at least tilesAcross / √2 tiles across the world.
  int zoom = 0;
  while (zoom < maxZoom && std::ldexp(kSqrt2, zoom) < tilesAcross) ++zoom;
  return zoom < minZoom ? -1 : zoom;
}

std::vector<PlacedTile> PlaceTiles(const MapView& view, int zoom, int borderTiles) {
  std::vector<PlacedTile> tiles;
  if (zoom < 0 || zoom > kDeepestTileZoom || view.size.isEmpty()) return tiles;
  const double n = std::ldexp(1.0, zoom);
  const double tilePixels = view.pixelsPerWorld / n;
  if (!(tilePixels >= kSmallestTilePixels) || !std::isfinite(tilePixels)) return tiles;

  // The view's edges in tiles of this zoom.
  const double halfWidth = view.size.width() / 2.0;
  const double halfHeight = view.size.height() / 2.0;
  const double left = (view.centre.x() - halfWidth / view.pixelsPerWorld) * n;
  const double right = (view.centre.x() + halfWidth / view.pixelsPerWorld) * n;
  const double top = (view.centre.y() - halfHeight / view.pixelsPerWorld) * n;
  const double bottom = (view.centre.y() + halfHeight / view.pixelsPerWorld) * n;
  const TileSpan columns = SpanOf(left, right, borderTiles, n);
  const TileSpan rows = SpanOf(top, bottom, borderTiles, n);

  for (int y = rows.first; y <= rows.last; ++y) {
    for (int x = columns.first; x <= columns.last; ++x) {
      const QPointF corner(halfWidth + (x / n - view.centre.x()) * view.pixelsPerWorld,
                           halfHeight + (y / n - view.centre.y()) * view.pixelsPerWorld);
      const bool inView = x + 1 > left && x < right && y + 1 > top && y < bottom;
      tiles.push_back(
          PlacedTile{TileKey{zoom, x, y}, QRectF(corner, QSizeF(tilePixels, tilePixels)), inView});
    }
  }
  // Nearest the middle of the view first: those are loaded first.
  const QPointF middle(halfWidth, halfHeight);
  const auto distance = [&middle](const PlacedTile& tile) {
    const QPointF d = tile.target.center() - middle;
    return d.x() * d.x() + d.y() * d.y();
  };
  std::stable_sort(
      tiles.begin(), tiles.end(),
      [&distance](const PlacedTile& a, const PlacedTile& b) { return distance(a) < distance(b); });
  return tiles;
}

std::vector<TileKey> KeysOf(const std::vector<PlacedTile>& tiles) {
  std::vector<TileKey> keys;
  keys.reserve(tiles.size());
  for (const PlacedTile& tile : tiles) keys.push_back(tile.key);
  return keys;
}

QString OpenStreetMapAttribution() { return QStringLiteral("© OpenStreetMap contributors"); }
