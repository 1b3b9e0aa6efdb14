#include "dialog/tiles/network_tiles.h"

#include <QDateTime>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QStandardPaths>
#include <algorithm>
#include <memory>

#ifndef WAYLOOM_VERSION
#define WAYLOOM_VERSION "1.0"
#endif
#ifndef WAYLOOM_CONTACT_URL
#define WAYLOOM_CONTACT_URL "https://wayloom.example.org/"
#endif

namespace {

// The disk cache of tile responses, keeping each as long as the server's expiry headers say,
// within reason: at least shortestFreshSeconds (so that a view is not fetched again within the
// session), and unstatedFreshSeconds when the server gives no expiry at all.
class TileDiskCache : public QNetworkDiskCache {
 public:
  TileDiskCache(const TileLoading& loading, QObject* parent)
      : QNetworkDiskCache(parent),
        shortestSeconds_(loading.shortestFreshSeconds),
        unstatedSeconds_(loading.unstatedFreshSeconds) {}

  QIODevice* prepare(const QNetworkCacheMetaData& metaData) override {
    return QNetworkDiskCache::prepare(Kept(metaData));
  }
  void updateMetaData(const QNetworkCacheMetaData& metaData) override {
    QNetworkDiskCache::updateMetaData(Kept(metaData));
  }

 private:
  QNetworkCacheMetaData Kept(QNetworkCacheMetaData metaData) const {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QDateTime expiry = metaData.expirationDate();
    if (!expiry.isValid()) expiry = now.addSecs(unstatedSeconds_);
    metaData.setExpirationDate(std::max(expiry, now.addSecs(shortestSeconds_)));
    return metaData;
  }

  qint64 shortestSeconds_;
  qint64 unstatedSeconds_;
};

}  // namespace

NetworkTileSource::NetworkTileSource(const QString& urlTemplate, QString attribution,
                                     const TileLoading& loading, QObject* parent)
    : TileSource(loading, nullptr, std::move(attribution), 0, kServerMaxZoom, parent),
      template_(urlTemplate) {
  auto* cache = new TileDiskCache(loading, &network_);
  QString folder = loading.cacheFolder;
  if (folder.isEmpty()) {
    folder =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/tiles");
  }
  cache->setCacheDirectory(folder);
  cache->setMaximumCacheSize(loading.cacheMegabytes * 1024 * 1024);
  network_.setCache(cache);
}

NetworkTileSource::~NetworkTileSource() {
  for (const TileKey& key : replies_.keys()) NetworkTileSource::Cancel(key);
}

QString NetworkTileSource::CheckTemplate(const QString& urlTemplate) {
  const QUrl url(urlTemplate);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty() ||
      (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
    return tr("The tile server \"%1\" is not a web address (http:// or https://).")
        .arg(urlTemplate);
  }
  if (!urlTemplate.contains(QLatin1String("{z}")) || !urlTemplate.contains(QLatin1String("{x}")) ||
      !(urlTemplate.contains(QLatin1String("{y}")) ||
        urlTemplate.contains(QLatin1String("{-y}")))) {
    return tr("The tile server address \"%1\" needs {z}, {x} and {y} where the tile's zoom, column "
              "and row go.")
        .arg(urlTemplate);
  }
  return QString();
}

QUrl NetworkTileSource::UrlOf(const TileKey& key) const {
  QString text = template_;
  text.replace(QLatin1String("{z}"), QString::number(key.zoom));
  text.replace(QLatin1String("{x}"), QString::number(key.x));
  text.replace(QLatin1String("{y}"), QString::number(key.y));
  text.replace(QLatin1String("{-y}"), QString::number((1 << key.zoom) - 1 - key.y));
  return QUrl(text);
}

QByteArray NetworkTileSource::UserAgent() {
  return QByteArrayLiteral("Wayloom/" WAYLOOM_VERSION " (+" WAYLOOM_CONTACT_URL ")");
}

QString NetworkTileSource::CacheFolder() const {
  const auto* cache = static_cast<const QNetworkDiskCache*>(network_.cache());
  return cache->cacheDirectory();
}

void NetworkTileSource::Fetch(const TileKey& key) {
  QNetworkRequest request(UrlOf(key));
  request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
  // Fresh tiles come from the disk cache; expired ones are asked again with the cached copy's
  // validators. No "no-cache" header is ever sent.
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
  request.setTransferTimeout(Loading().transferTimeoutMs);
  QNetworkReply* reply = network_.get(request);
  replies_.insert(key, reply);
  connect(reply, &QNetworkReply::finished, this, [this, key, reply] { OnFinished(key, reply); });
}

bool NetworkTileSource::Cancel(const TileKey& key) {
  QNetworkReply* reply = replies_.take(key);
  if (!reply) return false;
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
  return true;
}

void NetworkTileSource::OnFinished(const TileKey& key, QNetworkReply* reply) {
  replies_.remove(key);
  reply->deleteLater();
  if (reply->error() == QNetworkReply::NoError) {
    Decode(key, reply->readAll());
    return;
  }
  // No network, or trouble at the server: an expired copy is better than none.
  const QByteArray cached = FromCache(reply->request().url());
  if (!cached.isEmpty()) {
    Decode(key, cached);
    return;
  }
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  Failed(key, status != 404 && status != 410);  // those say the server has no such tile
}

QByteArray NetworkTileSource::FromCache(const QUrl& url) const {
  QAbstractNetworkCache* cache = network_.cache();
  const std::unique_ptr<QIODevice> data(cache ? cache->data(url) : nullptr);
  return data ? data->readAll() : QByteArray();
}
