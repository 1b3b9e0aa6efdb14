// Where the map's tiles come from. A source is told which tiles the view needs (Want) and loads
// them in the background, a bounded number at a time, nearest the middle of the view first; it
// keeps the tiles it loaded in memory and says when one arrives (TileReady), so the map draws what
// it has and never waits. A tile that fails is tried again later, each time after a longer pause;
// failures show nothing but the missing tile: the map stays as it is without tiles.
//
// Tiles are read (offline sources) and decoded on a thread of the source's own, so that neither a
// slow disk nor a large image holds up a pan or a zoom.
#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QSet>
#include <QString>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "dialog/tiles/tile_layout.h"

// How sources load. The defaults are the window's; tests make them smaller.
struct TileLoading {
  int loadsAtOnce = 6;              // requests to a server (or reads) under way at once
  int memoryKiB = 96 * 1024;        // decoded tiles kept in memory (a 256-pixel tile takes 256 KiB)
  qint64 firstRetryMs = 15 * 1000;  // a failed tile is tried again after this, then twice as long
  qint64 longestRetryMs = 10 * 60 * 1000;
  // A tile server's tiles on disk: the folder (empty: "tiles" in the user's cache folder) and its
  // size. A tile is kept as long as the server's expiry headers say, but at least
  // shortestFreshSeconds, and unstatedFreshSeconds when the server says nothing.
  QString cacheFolder;
  qint64 cacheMegabytes = 250;
  qint64 shortestFreshSeconds = 60 * 60;
  qint64 unstatedFreshSeconds = 7 * 24 * 60 * 60;
  int transferTimeoutMs = 30 * 1000;  // a request that stalls this long fails (and is retried)
};

// Reads the bytes of a tile from an offline store. Made on the caller's thread, then used and
// destroyed only on the source's loading thread.
class TileReader {
 public:
  virtual ~TileReader() = default;
  // The tile's bytes; empty when the store does not have it.
  virtual QByteArray Read(const TileKey& key) = 0;
};

// A tile to draw, or a stand-in for it: part is the piece of image that covers the tile's place
// (the whole image for the tile itself, a quarter or less of a coarser tile). Null image: none.
struct TilePicture {
  QImage image;
  QRect part;
};

class TileLoader;

class TileSource : public QObject {
  Q_OBJECT

 public:
  ~TileSource() override;

  // The tiles the view needs now (with its border), most wanted first; replaces the list before.
  // Tiles no longer wanted are not loaded, and their requests under way are cancelled where the
  // source can cancel them. Returns at once.
  void Want(const std::vector<TileKey>& keys);

  // The tile if it is in memory, else a null image.
  QImage Tile(const TileKey& key) const;
  // The tile, or else the nearest coarser tile in memory (up to four zooms out) that covers it.
  TilePicture Picture(const TileKey& key) const;

  int MinZoom() const { return minZoom_; }
  int MaxZoom() const { return maxZoom_; }
  const QString& Attribution() const { return attribution_; }

  // What the source did so far: loads started (requests or reads), tiles that arrived, loads that
  // failed, requests cancelled because their tile left the view.
  struct Tally {
    int started = 0;
    int arrived = 0;
    int failed = 0;
    int cancelled = 0;
  };
  const Tally& Counts() const { return tally_; }
  int LoadsUnderWay() const { return static_cast<int>(underWay_.size()); }

  // The clock of the retry pauses, in milliseconds (a test's clock; a steady clock by default).
  void SetClock(std::function<qint64()> clockMs) { clockMs_ = std::move(clockMs); }

 signals:
  void TileReady(const TileKey& key);
  void TileFailed(const TileKey& key);
  // To the loading thread: read the tile (bytes empty) or decode bytes fetched by the source.
  void LoadRequested(const TileKey& key, const QByteArray& bytes);

 protected:
  // reader: null for a source that fetches the bytes itself (override Fetch).
  TileSource(const TileLoading& loading, std::unique_ptr<TileReader> reader, QString attribution,
             int minZoom, int maxZoom, QObject* parent);

  // Starts loading a tile. By default the loading thread reads it; a source that fetches its
  // tiles calls Decode or Failed when the bytes are there.
  virtual void Fetch(const TileKey& key);
  // Cancels a load under way; false when it cannot be (it then runs to its end).
  virtual bool Cancel(const TileKey&) { return false; }
  void Decode(const TileKey& key, const QByteArray& bytes);
  // worthRetrying false: the tile does not exist there, it is not asked for again.
  void Failed(const TileKey& key, bool worthRetrying);

  const TileLoading& Loading() const { return loading_; }

 private:
  void OnLoaded(const TileKey& key, const QImage& image);
  void StartLoads();
  bool ShouldStart(const TileKey& key, qint64 now) const;
  void ScheduleRetry(qint64 now);

  struct Failure {
    int attempts = 0;
    qint64 retryAtMs = 0;
  };

  TileLoading loading_;
  QString attribution_;
  int minZoom_ = 0;
  int maxZoom_ = 0;
  bool offline_ = false;   // tiles read from a store, not fetched
  bool starting_ = false;  // within StartLoads
  std::vector<TileKey> wanted_;
  QSet<TileKey> underWay_;
  QSet<TileKey> absent_;
  QHash<TileKey, Failure> failures_;
  QCache<TileKey, QImage> memory_;
  Tally tally_;
  std::function<qint64()> clockMs_;
  QTimer retryTimer_;
  QThread thread_;
  TileLoader* loader_ = nullptr;  // lives on thread_
};
