// The map's tiles as the window remembers them, and the source they name.
#pragma once

#include <QString>
#include <memory>

#include "dialog/tiles/tile_source.h"

class QSettings;

struct TileSettings {
  // "off" (no tiles: the map as without them), a tile server's URL template with {z}, {x} and {y},
  // an .mbtiles file, or a folder of ZOOM/X/Y.png tiles. Empty: OpenStreetMap's standard tiles.
  QString tiles;
  // The credit shown on the map; empty: the source's own (OpenStreetMap's unless an MBTiles file
  // names another).
  QString attribution;
  // Set by the environment variable WAYLOOM_TILES (for tests, benchmarks and a run without the
  // network), which takes the place of what the settings say; such settings are not written back.
  bool fromEnvironment = false;

  // Under the keys map/tiles and map/tileAttribution, unless WAYLOOM_TILES is set.
  static TileSettings Read(const QSettings& settings);
  void Write(QSettings& settings) const;
};

QString DefaultTileTemplate();

// The source the settings name. Null when tiles are off (error left empty) or when the setting
// cannot be used (error says why, for the status line; the map then draws no tiles).
std::unique_ptr<TileSource> MakeTileSource(const TileSettings& settings, const TileLoading& loading,
                                           QString* error);
