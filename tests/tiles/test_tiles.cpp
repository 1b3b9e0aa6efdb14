// Map tiles: which tiles a view needs and where they go; a tile server made here on loopback that
// sees what the source asks (only the view and its border, named by Wayloom, once thanks to the
// cache, cancelled when the view moves on); MBTiles files and tile folders made here; no network.
// Every tile is a PNG of one colour that tells its zoom, column and row.
#include <QtNetwork>
#include <QtSql>
#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <limits>

#include "dialog/tiles/network_tiles.h"
#include "dialog/tiles/offline_tiles.h"
#include "dialog/tiles/tile_settings.h"

Q_DECLARE_METATYPE(MapView)

namespace {

QRgb ColourOf(const TileKey& key) { return qRgb(key.zoom * 16, key.x % 256, key.y % 256); }

QByteArray Png(const TileKey& key, const char* format = "PNG") {
  QImage image(kTilePixels, kTilePixels, QImage::Format_RGB32);
  image.fill(ColourOf(key));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

TileKey KeyNamed(const QString& name) {
  const QStringList parts = name.split('/');
  return TileKey{parts.value(0).toInt(), parts.value(1).toInt(), parts.value(2).toInt()};
}

QString Names(std::vector<TileKey> keys) {
  std::sort(keys.begin(), keys.end());
  QStringList names;
  for (const TileKey& key : keys) names << TileName(key);
  return names.join(' ');
}

std::vector<TileKey> Keys(const QString& names) {
  std::vector<TileKey> keys;
  for (const QString& name : names.split(' ', Qt::SkipEmptyParts)) keys.push_back(KeyNamed(name));
  return keys;
}

// The keys of a view: zoom 3 around a world point, 300 x 200 pixels, with its border (16 tiles).
std::vector<TileKey> ViewAt(double x, double y) {
  return KeysOf(PlaceTiles(MapView{QPointF(x, y), 2048.0, QSize(300, 200)}, 3));
}

// A tile server on loopback: answers GET /Z/X/Y.png with the tile's PNG, or holds the answers back
// until Release, and records each request's path and User-Agent.
class TileServer : public QObject {
 public:
  TileServer() {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
          abandoned +=
              int(held_.removeIf([socket](const auto& held) { return held.first == socket; }));
          socket->deleteLater();
        });
      }
    });
  }
  QString Template() const {
    return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server_.serverPort());
  }
  void Release() {
    holding = false;
    for (const auto& [socket, path] : std::exchange(held_, {})) Answer(socket, path);
  }
  int Held() const { return static_cast<int>(held_.size()); }
  void Close() { server_.close(); }

  QStringList paths;
  QByteArrayList userAgents;
  QByteArray cacheControl = "max-age=86400";
  bool holding = false;
  int abandoned = 0;  // held requests whose connection the client closed

 private:
  void Read(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0; buffer.remove(0, end + 4)) {
      const QByteArrayList lines = buffer.left(end).split('\n');
      const QByteArray path = lines.value(0).split(' ').value(1);
      paths << QString::fromLatin1(path);
      for (const QByteArray& line : lines) {
        if (line.toLower().startsWith("user-agent:")) userAgents << line.mid(11).trimmed();
      }
      if (holding) {
        held_.push_back({socket, path});
      } else {
        Answer(socket, path);
      }
    }
  }
  void Answer(QTcpSocket* socket, const QByteArray& path) {
    const QByteArray body = Png(KeyNamed(QString::fromLatin1(path.mid(1)).section('.', 0, 0)));
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nCache-Control: " + cacheControl +
                  "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
  }

  QTcpServer server_;
  QHash<QTcpSocket*, QByteArray> buffers_;
  QList<QPair<QTcpSocket*, QByteArray>> held_;
};

// The loading settings of the tests: the cache in a folder of the test's own.
TileLoading LoadingIn(const QTemporaryDir& dir) {
  TileLoading loading;
  loading.cacheFolder = dir.filePath(QStringLiteral("cache"));
  return loading;
}

// Every tile of keys in memory, each the tile it should be.
bool AllShown(const TileSource& source, const std::vector<TileKey>& keys) {
  return std::all_of(keys.begin(), keys.end(), [&source](const TileKey& key) {
    const QImage tile = source.Tile(key);
    return !tile.isNull() && tile.pixel(5, 5) == ColourOf(key);
  });
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// An MBTiles file of these tiles (rows stored from the south), with these rows of metadata.
void WriteMBTiles(const QString& path, const std::vector<TileKey>& keys, const QString& metadata) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
    db.setDatabaseName(path);
    QVERIFY(db.open());
    QStringList sql{
        "CREATE TABLE metadata (name TEXT, value TEXT)",
        "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
        "tile_data BLOB)"};
    if (!metadata.isEmpty()) sql << "INSERT INTO metadata VALUES " + metadata;
    for (const TileKey& key : keys) {
      sql << QStringLiteral("INSERT INTO tiles VALUES (%1, %2, %3, X'%4')")
                 .arg(key.zoom)
                 .arg(key.x)
                 .arg((1 << key.zoom) - 1 - key.y)
                 .arg(QString::fromLatin1(Png(key).toHex()));
    }
    QSqlQuery query(db);
    for (const QString& statement : sql) QVERIFY2(query.exec(statement), qPrintable(statement));
  }
  QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

}  // namespace

class TilesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

  void placesTheTilesOfAView_data() {
    QTest::addColumn<MapView>("view");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QString>("inView");
    QTest::addColumn<QString>("border");
    QTest::addColumn<QRectF>("first");  // the tile nearest the middle, drawn first
    const QSize wide(300, 200);
    QTest::newRow("the world at zoom 1")
        << MapView{QPointF(0.5, 0.5), 512.0, QSize(512, 512)} << 1 << "1/0/0 1/1/0 1/0/1 1/1/1"
        << "" << QRectF(0, 0, 256, 256);
    QTest::newRow("zoom 3 with a border of one tile")
        << MapView{QPointF(0.5, 0.5), 2048.0, wide} << 3 << "3/3/3 3/4/3 3/3/4 3/4/4"
        << "3/2/2 3/3/2 3/4/2 3/5/2 3/2/3 3/5/3 3/2/4 3/5/4 3/2/5 3/3/5 3/4/5 3/5/5"
        << QRectF(-106, -156, 256, 256);
    QTest::newRow("nothing beyond the world's corner")
        << MapView{QPointF(0.0, 0.0), 2048.0, wide} << 3 << "3/0/0"
        << "3/1/0 3/0/1 3/1/1" << QRectF(150, 100, 256, 256);
    QTest::newRow("the deepest zoom drawn larger")
        << MapView{QPointF(0.5, 0.5), 1073741824.0, wide} << 19
        << "19/262143/262143 19/262144/262143 19/262143/262144 19/262144/262144"
        << "19/262142/262142 19/262143/262142 19/262144/262142 19/262145/262142 "
           "19/262142/262143 19/262145/262143 19/262142/262144 19/262145/262144 "
           "19/262142/262145 19/262143/262145 19/262144/262145 19/262145/262145"
        << QRectF(-1898, -1948, 2048, 2048);
    QTest::newRow("an empty view") << MapView{QPointF(0.5, 0.5), 512.0, QSize()} << 1 << ""
                                   << "" << QRectF();
    QTest::newRow("tiles too small to draw") << MapView{QPointF(0.5, 0.5), 512.0, wide} << 5 << ""
                                             << "" << QRectF();
  }
  void placesTheTilesOfAView() {
    QFETCH(MapView, view);
    QFETCH(int, zoom);
    QFETCH(QString, inView);
    QFETCH(QString, border);
    QFETCH(QRectF, first);
    const std::vector<PlacedTile> tiles = PlaceTiles(view, zoom);
    std::vector<TileKey> shown, kept;
    for (const PlacedTile& tile : tiles) (tile.inView ? shown : kept).push_back(tile.key);
    QCOMPARE(Names(shown), inView);
    QCOMPARE(Names(kept), border);
    QCOMPARE(tiles.empty() ? QRectF() : tiles.front().target, first);
  }

  void choosesTheZoomNearestTheScale_data() {
    QTest::addColumn<double>("pixelsPerWorld");
    QTest::addColumn<double>("devicePixelRatio");
    QTest::addColumn<int>("minZoom");
    QTest::addColumn<int>("maxZoom");
    QTest::addColumn<int>("zoom");
    QTest::newRow("the world in one tile") << 256.0 << 1.0 << 0 << 19 << 0;
    QTest::newRow("tiles up to √2 larger") << 362.0 << 1.0 << 0 << 19 << 0;
    QTest::newRow("then the next zoom") << 363.0 << 1.0 << 0 << 19 << 1;
    QTest::newRow("a screen of two pixels a pixel") << 256.0 << 2.0 << 0 << 19 << 1;
    QTest::newRow("4096 tiles across") << 1048576.0 << 1.0 << 0 << 19 << 12;
    QTest::newRow("deeper than the source") << 2147483648.0 << 1.0 << 0 << 19 << 19;
    QTest::newRow("wider than the source") << 1000.0 << 1.0 << 10 << 14 << -1;
    QTest::newRow("not a number") << qQNaN() << 1.0 << 0 << 19 << -1;
  }
  void choosesTheZoomNearestTheScale() {
    QFETCH(double, pixelsPerWorld);
    QFETCH(double, devicePixelRatio);
    QFETCH(int, minZoom);
    QFETCH(int, maxZoom);
    QTEST(TileZoomFor(pixelsPerWorld, devicePixelRatio, minZoom, maxZoom), "zoom");
  }

  // The tiles of a view and its border are asked once; the second look asks the server nothing: its
  // tiles are in memory, or on disk for a new source (the next run of the program); an expired copy
  // serves when the server is gone.
  void takesTheSecondViewFromTheCache_data() {
    QTest::addColumn<bool>("newSource");
    QTest::addColumn<QByteArray>("cacheControl");
    QTest::addColumn<bool>("serverGone");
    QTest::addColumn<qint64>("keptSeconds");  // how long the disk cache keeps the tiles fresh
    const QByteArray day = "max-age=86400";
    QTest::newRow("same source") << false << day << false << qint64(86400);
    QTest::newRow("next run") << true << day << false << qint64(86400);
    QTest::newRow("no expiry stated: a week")
        << true << QByteArray("public") << false << qint64(7 * 86400);
    QTest::newRow("to be checked again, server gone")
        << true << QByteArray("max-age=0, must-revalidate") << true << qint64(0);
  }
  void takesTheSecondViewFromTheCache() {
    QFETCH(bool, newSource);
    QFETCH(QByteArray, cacheControl);
    QFETCH(bool, serverGone);
    QFETCH(qint64, keptSeconds);
    TileServer server;
    server.cacheControl = cacheControl;
    QTemporaryDir dir;
    TileLoading loading = LoadingIn(dir);
    loading.shortestFreshSeconds = 0;
    const std::vector<TileKey> view = ViewAt(0.3, 0.6);
    const QString url = server.Template();
    auto source = std::make_unique<NetworkTileSource>(url, QString(), loading);
    source->Want(view);
    QTRY_COMPARE_WITH_TIMEOUT(source->Counts().arrived, 16, 30000);
    // Each tile of the view and its border asked once, named by Wayloom and its version.
    QStringList expected;
    for (const TileKey& key : view) expected << QLatin1Char('/') + TileName(key) + ".png";
    QCOMPARE(QSet<QString>(server.paths.begin(), server.paths.end()),
             QSet<QString>(expected.begin(), expected.end()));
    QCOMPARE(server.userAgents.count(NetworkTileSource::UserAgent()), 16);
    QVERIFY(NetworkTileSource::UserAgent().startsWith("Wayloom/" WAYLOOM_VERSION " (+"));
    QNetworkDiskCache disk;
    disk.setCacheDirectory(loading.cacheFolder);
    const qint64 kept = QDateTime::currentDateTimeUtc().secsTo(
        disk.metaData(source->UrlOf(view.front())).expirationDate());
    QVERIFY2(qAbs(kept - keptSeconds) < 60, qPrintable(QString::number(kept)));
    if (serverGone) server.Close();
    if (newSource) {
      source = std::make_unique<NetworkTileSource>(url, QString(), loading);
    }
    source->Want(view);
    QTRY_VERIFY_WITH_TIMEOUT(AllShown(*source, view), 30000);
    QCOMPARE(server.paths.size(), 16);
  }

  // Two requests at once; those of tiles that left the view are cancelled (their connections
  // closed), not failed, and their tiles never arrive.
  void cancelsRequestsOfTilesThatLeftTheView() {
    TileServer server;
    server.holding = true;
    QTemporaryDir dir;
    TileLoading loading = LoadingIn(dir);
    loading.loadsAtOnce = 2;
    NetworkTileSource source(server.Template(), QString(), loading);
    const std::vector<TileKey> before = ViewAt(0.6, 0.6);
    source.Want(before);
    QCOMPARE(source.LoadsUnderWay(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(server.Held(), 2, 30000);
    const std::vector<TileKey> after = ViewAt(0.1, 0.1);
    source.Want(after);
    QCOMPARE(source.Counts().cancelled, 2);
    QTRY_COMPARE_WITH_TIMEOUT(server.abandoned, 2, 30000);
    server.Release();
    QTRY_VERIFY_WITH_TIMEOUT(AllShown(source, after), 30000);
    QCOMPARE(server.paths.size(), 2 + after.size());
    QCOMPARE(source.Counts().arrived, int(after.size()));
    QCOMPARE(source.Counts().failed, 0);  // a cancelled tile is not put off as a failed one
  }

  // Nothing listens: the tile fails quietly (no dialog, no warning) and is asked again only after
  // a pause, which doubles with each failure.
  void withoutANetworkFailsQuietlyAndRetriesLater() {
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString url =
        QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(closed.serverPort());
    closed.close();
    QTemporaryDir dir;
    NetworkTileSource source(url, QString(), LoadingIn(dir));
    qint64 nowMs = 0;
    source.SetClock([&nowMs] { return nowMs; });
    const std::vector<TileKey> view = Keys(QStringLiteral("2/1/1 2/2/1 2/1/2 2/2/2"));
    QSignalSpy failed(&source, &TileSource::TileFailed);
    // Each step: the clock moves on (ms), the view is asked again; loads started by then.
    const std::pair<qint64, int> steps[] = {{0, 4}, {0, 4},     {14999, 4},
                                            {1, 8}, {15000, 8}, {15000, 12}};
    for (const auto& [advanceMs, started] : steps) {
      nowMs += advanceMs;
      source.Want(view);
      QCOMPARE(source.Counts().started, started);
      QTRY_COMPARE_WITH_TIMEOUT(source.LoadsUnderWay(), 0, 30000);
      QCOMPARE(failed.size(), started);
    }
    QVERIFY(source.Tile(view.front()).isNull());
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
  }

  // The rows of an MBTiles file count from the south; the tiles come back as the map numbers them.
  void readsAnMBTilesFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.mbtiles"));
    const std::vector<TileKey> stored = Keys(QStringLiteral("0/0/0 2/1/0 2/1/3 3/5/2"));
    WriteMBTiles(path, stored,
                 "('format', 'png'), ('attribution', '<a href=\"x.test\">© Test</a>')");
    QString error;
    const auto source = OfflineTileSource::OpenMBTiles(path, QString(), TileLoading(), &error);
    QVERIFY2(source, qPrintable(error));
    QCOMPARE(source->Attribution(), QStringLiteral("© Test"));
    QCOMPARE(source->MaxZoom(), 3);
    std::vector<TileKey> wanted = stored;
    wanted.push_back(TileKey{2, 0, 0});  // not in the file
    source->Want(wanted);
    QTRY_COMPARE_WITH_TIMEOUT(source->Counts().arrived + source->Counts().failed, 5, 30000);
    QVERIFY(AllShown(*source, stored));
    source->SetClock([] { return std::numeric_limits<qint64>::max() / 2; });
    source->Want(wanted);  // the missing tile is not read again, however late
    QCOMPARE(source->Counts().started, 5);
  }

  // A folder of ZOOM/X/Y tiles, PNG or JPEG; while a tile is missing the map draws the part of a
  // coarser tile that covers it.
  void readsAFolderAndStandsInWithCoarserTiles_data() {
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QRect>("part");
    // clang-format off
    QTest::newRow("the tile itself") << "1/1/0" << "1/1/0" << QRect(0, 0, 256, 256);
    QTest::newRow("a quarter of its parent") << "2/3/1" << "1/1/0" << QRect(128, 128, 128, 128);
    QTest::newRow("two zooms out") << "2/1/2" << "0/0/0" << QRect(64, 128, 64, 64);
    QTest::newRow("four zooms out") << "4/7/0" << "0/0/0" << QRect(112, 0, 16, 16);
    QTest::newRow("five: too far") << "5/15/0" << "" << QRect();
    // clang-format on
  }
  void readsAFolderAndStandsInWithCoarserTiles() {
    QFETCH(QString, asked);
    QFETCH(QString, from);
    QFETCH(QRect, part);
    QTemporaryDir dir;
    WriteFile(dir.filePath(QStringLiteral("0/0/0.png")), Png(TileKey{0, 0, 0}));
    WriteFile(dir.filePath(QStringLiteral("1/1/0.jpg")), Png(TileKey{1, 1, 0}, "JPEG"));
    QString error;
    const auto source = OfflineTileSource::OpenFolder(dir.path(), QString(), TileLoading(), &error);
    QVERIFY2(source, qPrintable(error));
    QCOMPARE(source->MaxZoom(), 1);
    source->Want(Keys(QStringLiteral("0/0/0 1/1/0")));
    QTRY_COMPARE_WITH_TIMEOUT(source->Counts().arrived, 2, 30000);
    const TilePicture picture = source->Picture(KeyNamed(asked));
    QCOMPARE(picture.part, part);
    if (!from.isEmpty())
      QVERIFY(qAbs(qRed(picture.image.pixel(5, 5)) - KeyNamed(from).zoom * 16) < 8);
  }

  // What the setting names, or why it cannot be used.
  void makesTheSourceTheSettingNames_data() {
    QTest::addColumn<QString>("tiles");
    QTest::addColumn<QString>("expected");  // "off", the URL of tile 2/1/0, the zooms, or the error
    // clang-format off
    QTest::newRow("off") << " Off " << "off";
    QTest::newRow("the default") << "" << "https://tile.openstreetmap.org/2/1/0.png";
    QTest::newRow("rows from the south") << "http://t.test/{z}/{x}/{-y}.png"
                                         << "http://t.test/2/1/3.png";
    QTest::newRow("not the web") << "ftp://t.test/{z}/{x}/{y}.png" << "is not a web address";
    QTest::newRow("no row") << "https://t.test/{z}/{x}.png" << "needs {z}, {x} and {y}";
    QTest::newRow("a folder") << "DIR/folder" << "zooms 3 to 3";
    QTest::newRow("an empty folder") << "DIR/empty" << "holds no map tiles";
    QTest::newRow("an MBTiles file") << "DIR/map.mbtiles" << "zooms 0 to 0";
    QTest::newRow("no such file") << "DIR/none.mbtiles" << "does not exist";
    QTest::newRow("not a database") << "DIR/text.mbtiles" << "is not an MBTiles file";
    QTest::newRow("vector tiles") << "DIR/vector.mbtiles" << "\"pbf\", which the map cannot draw";
    // clang-format on
  }
  void makesTheSourceTheSettingNames() {
    QFETCH(QString, tiles);
    QTemporaryDir dir;
    WriteFile(dir.filePath(QStringLiteral("folder/3/1/1.png")), Png(TileKey{3, 1, 1}));
    QDir().mkpath(dir.filePath(QStringLiteral("empty/tiles")));
    WriteFile(dir.filePath(QStringLiteral("text.mbtiles")), "zoom,x,y\n");
    WriteMBTiles(dir.filePath(QStringLiteral("map.mbtiles")), Keys("0/0/0"), "");
    WriteMBTiles(dir.filePath(QStringLiteral("vector.mbtiles")), Keys("0/0/0"),
                 "('format', 'pbf')");
    QString error;
    const auto source = MakeTileSource(TileSettings{tiles.replace("DIR", dir.path()), QString()},
                                       LoadingIn(dir), &error);
    QString made = error.isEmpty() ? QStringLiteral("off") : error;
    if (const auto* server = qobject_cast<const NetworkTileSource*>(source.get())) {
      made = server->UrlOf(TileKey{2, 1, 0}).toString();
      QCOMPARE(server->Attribution(), OpenStreetMapAttribution());
    } else if (source) {
      made = QStringLiteral("zooms %1 to %2").arg(source->MinZoom()).arg(source->MaxZoom());
    }
    QFETCH(QString, expected);
    QVERIFY2(made.contains(expected), qPrintable(made));
  }

  // WAYLOOM_TILES takes the place of the settings for a run and is not written back to them.
  void environmentTakesThePlaceOfTheSettings() {
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("wayloom.ini")), QSettings::IniFormat);
    TileSettings{QStringLiteral("tiles.mbtiles"), QString(), false}.Write(settings);
    qputenv("WAYLOOM_TILES", "off");
    const TileSettings read = TileSettings::Read(settings);
    TileSettings{QStringLiteral("folder"), QString(), true}.Write(settings);
    qunsetenv("WAYLOOM_TILES");
    QCOMPARE(read.tiles + ' ' + TileSettings::Read(settings).tiles, "off tiles.mbtiles");
  }
};

QTEST_MAIN(TilesTest)
#include "test_tiles.moc"
