// Tiles from a tile server, named by a URL template such as
// https://tile.openstreetmap.org/{z}/{x}/{y}.png ({-y} numbers the rows from the south instead).
// Every request names Wayloom and its version in its User-Agent and goes through a disk cache, so
// a view seen before is not fetched again while its tiles are fresh; requests of tiles that left
// the view are cancelled. Without a network a tile fails quietly (a copy in the cache, even an
// expired one, is used instead) and is asked for again later.
#pragma once

#include <QHash>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

#include "dialog/tiles/tile_source.h"

class QNetworkReply;

class NetworkTileSource : public TileSource {
  Q_OBJECT

 public:
  // The deepest zoom asked of a server: what the common tile servers offer.
  static constexpr int kServerMaxZoom = 19;

  // urlTemplate must pass CheckTemplate.
  NetworkTileSource(const QString& urlTemplate, QString attribution, const TileLoading& loading,
                    QObject* parent = nullptr);
  ~NetworkTileSource() override;

  // Why a template cannot be used (empty when it can): it must be an http:// or https:// address
  // with {z}, {x} and {y} (or {-y}) in it.
  static QString CheckTemplate(const QString& urlTemplate);
  QUrl UrlOf(const TileKey& key) const;
  // "Wayloom/VERSION (+CONTACT)": tile servers ask applications to name themselves.
  static QByteArray UserAgent();
  // The folder of the disk cache.
  QString CacheFolder() const;

 protected:
  void Fetch(const TileKey& key) override;
  bool Cancel(const TileKey& key) override;

 private:
  void OnFinished(const TileKey& key, QNetworkReply* reply);
  QByteArray FromCache(const QUrl& url) const;

  QString template_;
  QNetworkAccessManager network_;
  QHash<TileKey, QNetworkReply*> replies_;
};
