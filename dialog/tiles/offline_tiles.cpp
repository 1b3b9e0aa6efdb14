#include "dialog/tiles/offline_tiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextDocumentFragment>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <optional>

namespace {

// Each connection to an MBTiles file has a name of its own: one to look the file over on the
// caller's thread, one for reading on the loading thread.
QString NewConnectionName() {
  static std::atomic<int> count{0};
  return QStringLiteral("wayloom-tiles-%1").arg(++count);
}

QSqlDatabase OpenReadOnly(const QString& path, const QString& connection) {
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
  db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
  db.setDatabaseName(path);
  db.open();
  return db;
}

// Reads tiles from an MBTiles file; its connection is opened on first use, on the loading thread.
class MBTilesReader : public TileReader {
 public:
  explicit MBTilesReader(QString path) : path_(std::move(path)) {}
  ~MBTilesReader() override {
    if (connection_.isEmpty()) return;
    query_.reset();
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
  }

  QByteArray Read(const TileKey& key) override {
    if (connection_.isEmpty()) {
      connection_ = NewConnectionName();
      db_ = OpenReadOnly(path_, connection_);
      query_.emplace(db_);
      query_->prepare(QStringLiteral(
          "SELECT tile_data FROM tiles WHERE zoom_level = ? AND tile_column = ? AND tile_row = ?"));
    }
    // Rows count from the south in MBTiles, from the north in the map's numbering.
    query_->bindValue(0, key.zoom);
    query_->bindValue(1, key.x);
    query_->bindValue(2, (1 << key.zoom) - 1 - key.y);
    if (!query_->exec() || !query_->next()) return QByteArray();
    QByteArray bytes = query_->value(0).toByteArray();
    query_->finish();
    return bytes;
  }

 private:
  QString path_;
  QString connection_;
  QSqlDatabase db_;
  std::optional<QSqlQuery> query_;
};

// Reads tiles from a folder laid out as ZOOM/X/Y.png (or .jpg, .jpeg, .webp).
class FolderReader : public TileReader {
 public:
  explicit FolderReader(QString path) : path_(std::move(path)) {}

  QByteArray Read(const TileKey& key) override {
    const QString stem = QStringLiteral("%1/%2.").arg(path_, TileName(key));
    for (const char* extension : {"png", "jpg", "jpeg", "webp"}) {
      QFile file(stem + QLatin1String(extension));
      if (file.open(QIODevice::ReadOnly)) return file.readAll();
    }
    return QByteArray();
  }

 private:
  QString path_;
};

struct StoreInfo {
  int minZoom = 0;
  int maxZoom = -1;
  QString attribution;
};

// What the metadata table says, by name.
QHash<QString, QString> Metadata(const QSqlDatabase& db) {
  QHash<QString, QString> values;
  QSqlQuery query(db);
  if (query.exec(QStringLiteral("SELECT name, value FROM metadata"))) {
    while (query.next()) values.insert(query.value(0).toString(), query.value(1).toString());
  }
  return values;
}

// The zooms of the tiles: from the metadata, else from the tiles themselves.
void ReadZooms(const QSqlDatabase& db, const QHash<QString, QString>& metadata, StoreInfo& info) {
  bool minOk = false;
  bool maxOk = false;
  info.minZoom = metadata.value(QStringLiteral("minzoom")).toInt(&minOk);
  info.maxZoom = metadata.value(QStringLiteral("maxzoom")).toInt(&maxOk);
  if (minOk && maxOk) return;
  QSqlQuery query(db);
  if (query.exec(QStringLiteral("SELECT MIN(zoom_level), MAX(zoom_level) FROM tiles")) &&
      query.next() && !query.value(0).isNull()) {
    info.minZoom = query.value(0).toInt();
    info.maxZoom = query.value(1).toInt();
  } else {
    info.maxZoom = -1;
  }
}

QString InspectMBTiles(const QSqlDatabase& db, const QString& path, StoreInfo& info) {
  if (!db.isOpen()) {
    return QObject::tr("Cannot open the map tiles file %1: %2").arg(path, db.lastError().text());
  }
  if (!db.tables(QSql::AllTables).contains(QStringLiteral("tiles"))) {
    return QObject::tr("%1 is not an MBTiles file: it has no table of tiles.").arg(path);
  }
  const QHash<QString, QString> metadata = Metadata(db);
  const QString format = metadata.value(QStringLiteral("format"), QStringLiteral("png")).toLower();
  if (!QImageReader::supportedImageFormats().contains(format.toLatin1())) {
    return QObject::tr(
               "%1 holds tiles of the format \"%2\", which the map cannot draw (it draws "
               "images such as PNG and JPEG).")
        .arg(path, format);
  }
  ReadZooms(db, metadata, info);
  info.minZoom = std::max(info.minZoom, 0);
  if (info.maxZoom < info.minZoom) return QObject::tr("%1 holds no tiles.").arg(path);
  const QString attribution = metadata.value(QStringLiteral("attribution"));
  info.attribution = QTextDocumentFragment::fromHtml(attribution).toPlainText().trimmed();
  return QString();
}

// The zooms of a folder of tiles: its subfolders named by a number.
QString InspectFolder(const QString& path, StoreInfo& info) {
  info.minZoom = kDeepestTileZoom + 1;
  const QStringList names = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& name : names) {
    bool number = false;
    const int zoom = name.toInt(&number);
    if (!number || zoom < 0 || zoom > kDeepestTileZoom) continue;
    info.minZoom = std::min(info.minZoom, zoom);
    info.maxZoom = std::max(info.maxZoom, zoom);
  }
  if (info.maxZoom < 0) {
    return QObject::tr(
               "The folder %1 holds no map tiles: they go in folders named by zoom, as "
               "ZOOM/X/Y.png.")
        .arg(path);
  }
  return QString();
}

QString Credit(const QString& chosen, const QString& stores) {
  if (!chosen.isEmpty()) return chosen;
  return stores.isEmpty() ? OpenStreetMapAttribution() : stores;
}

}  // namespace

std::unique_ptr<OfflineTileSource> OfflineTileSource::OpenMBTiles(const QString& path,
                                                                  const QString& attribution,
                                                                  const TileLoading& loading,
                                                                  QString* error) {
  if (!QFileInfo(path).isFile()) {
    *error = tr("The map tiles file %1 does not exist.").arg(path);
    return nullptr;
  }
  StoreInfo info;
  const QString connection = NewConnectionName();
  {
    const QSqlDatabase db = OpenReadOnly(path, connection);
    *error = InspectMBTiles(db, path, info);
  }
  QSqlDatabase::removeDatabase(connection);
  if (!error->isEmpty()) return nullptr;
  return std::unique_ptr<OfflineTileSource>(
      new OfflineTileSource(loading, std::make_unique<MBTilesReader>(path),
                            Credit(attribution, info.attribution), info.minZoom, info.maxZoom));
}

std::unique_ptr<OfflineTileSource> OfflineTileSource::OpenFolder(const QString& path,
                                                                 const QString& attribution,
                                                                 const TileLoading& loading,
                                                                 QString* error) {
  StoreInfo info;
  *error = InspectFolder(path, info);
  if (!error->isEmpty()) return nullptr;
  return std::unique_ptr<OfflineTileSource>(
      new OfflineTileSource(loading, std::make_unique<FolderReader>(path),
                            Credit(attribution, QString()), info.minZoom, info.maxZoom));
}
