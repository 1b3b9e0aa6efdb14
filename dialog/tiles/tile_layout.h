// Which map tiles cover a view of the track map, and where each one is drawn.
//
// The map's world is Web Mercator's square of side 1: x grows east from longitude -180, y grows
// south from the northern edge (latitude 85.0511...). At zoom z the world is cut into 2^z by 2^z
// tiles of 256 pixels, numbered from the top left (the XYZ scheme of tile servers). The world is
// not repeated east or west, as the map does not repeat it either.
#pragma once

#include <QMetaType>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <cstddef>
#include <vector>

struct TileKey {
  int zoom = 0;
  int x = 0;
  int y = 0;

  friend bool operator==(const TileKey& a, const TileKey& b) {
    return a.zoom == b.zoom && a.x == b.x && a.y == b.y;
  }
  friend bool operator!=(const TileKey& a, const TileKey& b) { return !(a == b); }
  friend bool operator<(const TileKey& a, const TileKey& b) {
    if (a.zoom != b.zoom) return a.zoom < b.zoom;
    return a.y != b.y ? a.y < b.y : a.x < b.x;
  }
};
size_t qHash(const TileKey& key, size_t seed = 0);
Q_DECLARE_METATYPE(TileKey)

// "z/x/y", for messages and file names.
QString TileName(const TileKey& key);

constexpr int kTilePixels = 256;
// Tile numbers of deeper zooms would not fit an int; no tile server goes near it.
constexpr int kDeepestTileZoom = 24;

// What the map shows: the world point at the middle of the view, the scale (view pixels for the
// world's side) and the view's size in pixels.
struct MapView {
  QPointF centre{0.5, 0.5};
  double pixelsPerWorld = 256.0;
  QSize size;
};

struct PlacedTile {
  TileKey key;
  QRectF target;        // where the tile goes on the view, in view pixels
  bool inView = false;  // false: the border kept ready around the view, not drawn
};

// The zoom whose tiles are drawn nearest their own size (from 1/√2 to √2 of it) at this scale, on a
// screen of devicePixelRatio physical pixels per view pixel; at most maxZoom (deeper views draw
// those tiles larger). -1 when that zoom is below minZoom: the source has no tiles for so wide a
// view, and drawing its smallest ones would take thousands.
int TileZoomFor(double pixelsPerWorld, double devicePixelRatio, int minZoom, int maxZoom);

// The tiles of one zoom over the view and borderTiles tiles around it, those nearest the centre
// first. Empty for an empty view, a zoom out of range, or tiles drawn smaller than 32 pixels.
std::vector<PlacedTile> PlaceTiles(const MapView& view, int zoom, int borderTiles = 1);
std::vector<TileKey> KeysOf(const std::vector<PlacedTile>& tiles);

// The credit OpenStreetMap's tiles must show, at the bottom right of the map.
QString OpenStreetMapAttribution();
