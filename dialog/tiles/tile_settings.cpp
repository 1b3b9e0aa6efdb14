#include "dialog/tiles/tile_settings.h"

#include <QFileInfo>
#include <QSettings>

#include "dialog/tiles/network_tiles.h"
#include "dialog/tiles/offline_tiles.h"

namespace {

const QString kTilesKey = QStringLiteral("map/tiles");
const QString kAttributionKey = QStringLiteral("map/tileAttribution");

}  // namespace

TileSettings TileSettings::Read(const QSettings& settings) {
  if (qEnvironmentVariableIsSet("WAYLOOM_TILES")) {
    return TileSettings{qEnvironmentVariable("WAYLOOM_TILES"), QString(), true};
  }
  return TileSettings{settings.value(kTilesKey).toString(),
                      settings.value(kAttributionKey).toString(), false};
}

void TileSettings::Write(QSettings& settings) const {
  if (fromEnvironment) return;
  settings.setValue(kTilesKey, tiles);
  settings.setValue(kAttributionKey, attribution);
}

QString DefaultTileTemplate() {
  return QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png");
}

std::unique_ptr<TileSource> MakeTileSource(const TileSettings& settings, const TileLoading& loading,
                                           QString* error) {
  error->clear();
  QString tiles = settings.tiles.trimmed();
  if (tiles.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) return nullptr;
  if (tiles.isEmpty()) tiles = DefaultTileTemplate();
  if (tiles.contains(QLatin1String("://"))) {
    *error = NetworkTileSource::CheckTemplate(tiles);
    if (!error->isEmpty()) return nullptr;
    const QString credit =
        settings.attribution.isEmpty() ? OpenStreetMapAttribution() : settings.attribution;
    return std::make_unique<NetworkTileSource>(tiles, credit, loading);
  }
  if (QFileInfo(tiles).isDir()) {
    return OfflineTileSource::OpenFolder(tiles, settings.attribution, loading, error);
  }
  return OfflineTileSource::OpenMBTiles(tiles, settings.attribution, loading, error);
}
