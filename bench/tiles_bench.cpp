// Times the map tiles, headless, on loopback and local files only: which tiles cover a full-screen
// view, a view's tiles loaded from a tile folder, an MBTiles file, a tile server on loopback (the
// first time, and again from the disk cache by a new source, as the next run of the program), and
// the longest the event loop was kept from a repaint while they loaded; then one frame of a view's
// tiles painted, and of stand-ins (a coarser tile's quarter scaled up, as during a zoom).
//
// Usage: wayloom_bench_tiles [WIDTH HEIGHT]   (the view in pixels; 1920 x 1080 by default)

#include <time.h>
#include <QGuiApplication>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCore>

#include <algorithm>
#include <cstdio>
#include <random>

#include "dialog/tiles/network_tiles.h"
#include "dialog/tiles/offline_tiles.h"

namespace {

constexpr int kZoom = 12;

// CPU time of the calling thread (the event loop's), in milliseconds: on a shared machine the
// wall time of the loop also holds the time it waited for a core.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// A tile of lines and labels over a plain ground, near the size of a town's map tile as PNG.
QByteArray MakeTile(const TileKey& key, std::mt19937& random) {
  QImage image(kTilePixels, kTilePixels, QImage::Format_RGB32);
  image.fill(QColor(242, 239, 233));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  std::uniform_int_distribution<int> place(0, kTilePixels), shade(120, 250);
  for (int line = 0; line < 60; ++line) {
    painter.setPen(QPen(QColor(shade(random), shade(random), shade(random)), 1 + line % 4));
    painter.drawLine(place(random), place(random), place(random), place(random));
  }
  painter.setPen(Qt::black);
  painter.drawText(20, 128, TileName(key));
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

// Answers GET /Z/X/Y.png with the tiles given, at once, fresh for a day.
class LoopbackServer : public QObject {
 public:
  explicit LoopbackServer(const QHash<QString, QByteArray>& tiles) : tiles_(tiles) {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Answer(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  QString Template() const {
    return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server_.serverPort());
  }

 private:
  void Answer(QTcpSocket* socket) {
    QByteArray& buffer = pending_[socket];
    buffer += socket->readAll();
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0; buffer.remove(0, end + 4)) {
      const QString path = QString::fromLatin1(buffer.left(end).split(' ').value(1));
      const QByteArray body = tiles_.value(path.mid(1).section('.', 0, 0));
      socket->write(
          "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nCache-Control: max-age=86400"
          "\r\nContent-Length: " +
          QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }
  }

  QTcpServer server_;
  QHash<QString, QByteArray> tiles_;
  QHash<QTcpSocket*, QByteArray> pending_;
};

void WriteMBTiles(const QString& path, const QHash<QString, QByteArray>& tiles) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
    db.setDatabaseName(path);
    db.open();
    QSqlQuery query(db);
    query.exec(
        "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
        "tile_data BLOB)");
    query.exec("CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row)");
    db.transaction();
    for (auto tile = tiles.cbegin(); tile != tiles.cend(); ++tile) {
      const QStringList zxy = tile.key().split('/');
      const int zoom = zxy[0].toInt();
      query.prepare("INSERT INTO tiles VALUES (?, ?, ?, ?)");
      for (const QVariant& value :
           {QVariant(zoom), QVariant(zxy[1].toInt()), QVariant((1 << zoom) - 1 - zxy[2].toInt()),
            QVariant(tile.value())}) {
        query.addBindValue(value);
      }
      query.exec();
    }
    db.commit();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

// Loads keys with the source; prints the time of Want itself, until every tile is in memory, the
// CPU time the event loop's thread spent, and the longest it went without running (a repaint would
// have waited that long).
void TimeLoading(const char* name, TileSource& source, const std::vector<TileKey>& keys) {
  QElapsedTimer clock;
  qint64 lastTickNs = 0;
  qint64 longestStallNs = 0;
  // A tick every few milliseconds: how late one comes is how long the loop was held (or waited
  // for a core). Few enough not to count in the thread's CPU time.
  constexpr int kTickMs = 5;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longestStallNs = std::max(longestStallNs, now - lastTickNs - kTickMs * 1000000);
    lastTickNs = now;
  });
  QEventLoop loop;
  QObject::connect(&source, &TileSource::TileReady, &loop, [&] {
    if (source.Counts().arrived == static_cast<int>(keys.size())) loop.quit();
  });
  tick.start(kTickMs);
  const double cpuBeforeMs = ThreadCpuMs();
  clock.start();
  source.Want(keys);
  const qint64 wantNs = clock.nsecsElapsed();
  lastTickNs = wantNs;
  loop.exec();
  const double elapsedMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  tick.stop();
  std::printf(
      "%-27s %zu tiles: Want %.0f us, all in memory after %.0f ms; the event loop's "
      "thread: %.2f ms of CPU a tile, held %.1f ms at most\n",
      name, keys.size(), static_cast<double>(wantNs) / 1e3, elapsedMs,
      (ThreadCpuMs() - cpuBeforeMs) / static_cast<double>(keys.size()),
      static_cast<double>(longestStallNs) / 1e6);
}

// The average time of painting the view's tiles (or their stand-ins) into an image of its size.
void TimePainting(const TileSource& source, const std::vector<PlacedTile>& placed, QSize size,
                  bool standIns) {
  QImage frame(size, QImage::Format_ARGB32_Premultiplied);
  constexpr int kFrames = 50;
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < kFrames; ++i) {
    QPainter painter(&frame);
    for (const PlacedTile& tile : placed) {
      if (!tile.inView) continue;
      const TileKey key =
          standIns ? TileKey{tile.key.zoom + 1, tile.key.x * 2, tile.key.y * 2} : tile.key;
      const TilePicture picture = source.Picture(key);
      painter.drawImage(tile.target, picture.image, picture.part);
    }
  }
  std::printf("paint a %dx%d view's tiles%s: %.2f ms a frame\n", size.width(), size.height(),
              standIns ? " (quarters of coarser tiles, scaled)" : "",
              static_cast<double>(clock.nsecsElapsed()) / 1e6 / kFrames);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QSize size(argc > 2 ? QString::fromLocal8Bit(argv[1]).toInt() : 1920,
                   argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1080);
  // Edinburgh at zoom 12, tiles at their own size.
  const MapView view{QPointF(0.49113, 0.31563), 256.0 * (1 << kZoom), size};

  constexpr int kLayouts = 10000;
  QElapsedTimer clock;
  clock.start();
  std::size_t count = 0;
  for (int i = 0; i < kLayouts; ++i) count += PlaceTiles(view, kZoom).size();
  std::printf("PlaceTiles on %dx%d pixels: %zu tiles with the border, %.2f us a call\n",
              size.width(), size.height(), count / kLayouts,
              static_cast<double>(clock.nsecsElapsed()) / 1e3 / kLayouts);

  const std::vector<PlacedTile> placed = PlaceTiles(view, kZoom);
  const std::vector<TileKey> keys = KeysOf(placed);
  QTemporaryDir dir;
  QHash<QString, QByteArray> tiles;
  std::mt19937 random(7);
  qint64 bytes = 0;
  for (const TileKey& key : keys) {
    const QByteArray png = MakeTile(key, random);
    tiles.insert(TileName(key), png);
    bytes += png.size();
    QDir().mkpath(dir.filePath(QStringLiteral("folder/%1/%2").arg(key.zoom).arg(key.x)));
    QFile file(dir.filePath(QStringLiteral("folder/%1.png").arg(TileName(key))));
    if (file.open(QIODevice::WriteOnly)) file.write(png);
  }
  std::printf("tiles of %lld bytes on average as PNG\n", bytes / static_cast<qint64>(keys.size()));
  WriteMBTiles(dir.filePath(QStringLiteral("map.mbtiles")), tiles);

  TileLoading loading;
  loading.cacheFolder = dir.filePath(QStringLiteral("cache"));
  QString error;
  auto folder = OfflineTileSource::OpenFolder(dir.filePath(QStringLiteral("folder")), QString(),
                                              loading, &error);
  auto mbtiles = OfflineTileSource::OpenMBTiles(dir.filePath(QStringLiteral("map.mbtiles")),
                                                QString(), loading, &error);
  if (!folder || !mbtiles) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  TimeLoading("tile folder", *folder, keys);
  TimeLoading("MBTiles file", *mbtiles, keys);
  LoopbackServer server(tiles);
  {
    NetworkTileSource first(server.Template(), QString(), loading);
    TimeLoading("server on loopback", first, keys);
  }
  NetworkTileSource again(server.Template(), QString(), loading);
  TimeLoading("server, from the disk cache", again, keys);

  TimePainting(*mbtiles, placed, size, false);
  TimePainting(*mbtiles, placed, size, true);
  return 0;
}
