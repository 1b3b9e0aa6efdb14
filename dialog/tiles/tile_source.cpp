#include "dialog/tiles/tile_source.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <chrono>
#include <limits>

#include "dialog/tiles/tile_loader.h"

namespace {

// Tiles are 256 or 512 pixels; anything much larger is not a tile and would only take memory.
constexpr int kLargestTilePixels = 1024;
// How many zooms out Picture looks for a stand-in.
constexpr int kStandInLevels = 4;

qint64 SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool Exists(const TileKey& key, int minZoom, int maxZoom) {
  if (key.zoom < minZoom || key.zoom > maxZoom) return false;
  const int n = 1 << key.zoom;
  return key.x >= 0 && key.x < n && key.y >= 0 && key.y < n;
}

}  // namespace

void TileLoader::Load(const TileKey& key, const QByteArray& fetched) {
  QByteArray bytes = fetched;
  if (bytes.isEmpty() && reader_) bytes = reader_->Read(key);
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer);
  QImage image;
  const QSize size = reader.size();
  if (size.width() <= kLargestTilePixels && size.height() <= kLargestTilePixels &&
      reader.read(&image)) {
    image.convertTo(QImage::Format_ARGB32_Premultiplied);  // the format painted fastest
  }
  emit Loaded(key, image);
}

TileSource::TileSource(const TileLoading& loading, std::unique_ptr<TileReader> reader,
                       QString attribution, int minZoom, int maxZoom, QObject* parent)
    : QObject(parent),
      loading_(loading),
      attribution_(std::move(attribution)),
      minZoom_(minZoom),
      maxZoom_(std::min(maxZoom, kDeepestTileZoom)),
      offline_(reader != nullptr),
      clockMs_(SteadyMs) {
  qRegisterMetaType<TileKey>();
  memory_.setMaxCost(std::max(loading_.memoryKiB, 1));
  retryTimer_.setSingleShot(true);
  connect(&retryTimer_, &QTimer::timeout, this, &TileSource::StartLoads);
  loader_ = new TileLoader(std::move(reader));
  loader_->moveToThread(&thread_);
  connect(this, &TileSource::LoadRequested, loader_, &TileLoader::Load);
  connect(loader_, &TileLoader::Loaded, this, &TileSource::OnLoaded);
  thread_.setObjectName(QStringLiteral("Wayloom tiles"));
  thread_.start();
}

TileSource::~TileSource() {
  // The loader (and the reader with its open file) goes on its own thread; loads it was still
  // given are dropped with it.
  TileLoader* loader = loader_;
  QMetaObject::invokeMethod(
      loader, [loader] { delete loader; }, Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
}

void TileSource::Want(const std::vector<TileKey>& keys) {
  wanted_.clear();
  QSet<TileKey> wanted;
  for (const TileKey& key : keys) {
    if (Exists(key, minZoom_, maxZoom_) && !wanted.contains(key)) {
      wanted.insert(key);
      wanted_.push_back(key);
    }
  }
  // Memory for two views at least, so that panning back finds its tiles.
  const qsizetype viewKiB = 2 * static_cast<qsizetype>(wanted_.size()) * 256;
  memory_.setMaxCost(std::max<qsizetype>(loading_.memoryKiB, viewKiB));

  const QSet<TileKey> underWay = underWay_;
  for (const TileKey& key : underWay) {
    if (!wanted.contains(key) && Cancel(key)) {
      underWay_.remove(key);
      ++tally_.cancelled;
    }
  }
  StartLoads();
}

QImage TileSource::Tile(const TileKey& key) const {
  const QImage* image = memory_.object(key);
  return image ? *image : QImage();
}

TilePicture TileSource::Picture(const TileKey& key) const {
  for (int levels = 0; levels <= kStandInLevels && levels <= key.zoom; ++levels) {
    const QImage* image =
        memory_.object(TileKey{key.zoom - levels, key.x >> levels, key.y >> levels});
    if (!image) continue;
    const int width = image->width() >> levels;
    const int height = image->height() >> levels;
    if (width < 1 || height < 1) break;
    const int below = (1 << levels) - 1;  // the tile's place within the coarser one
    return TilePicture{*image,
                       QRect((key.x & below) * width, (key.y & below) * height, width, height)};
  }
  return TilePicture{};
}

void TileSource::Fetch(const TileKey& key) { emit LoadRequested(key, QByteArray()); }

void TileSource::Decode(const TileKey& key, const QByteArray& bytes) {
  if (bytes.isEmpty()) {
    Failed(key, true);
    return;
  }
  emit LoadRequested(key, bytes);
}

void TileSource::Failed(const TileKey& key, bool worthRetrying) {
  underWay_.remove(key);
  ++tally_.failed;
  if (worthRetrying) {
    Failure& failure = failures_[key];
    qint64 pauseMs = loading_.firstRetryMs;
    for (int i = 0; i < failure.attempts && pauseMs < loading_.longestRetryMs; ++i) pauseMs *= 2;
    failure.retryAtMs = clockMs_() + std::min(pauseMs, loading_.longestRetryMs);
    ++failure.attempts;
  } else {
    absent_.insert(key);
  }
  emit TileFailed(key);
  StartLoads();
}

void TileSource::OnLoaded(const TileKey& key, const QImage& image) {
  if (image.isNull()) {
    // Bytes that are no image: an offline store will not change, a server may send better ones.
    Failed(key, !offline_);
    return;
  }
  underWay_.remove(key);
  failures_.remove(key);
  const qsizetype kib = std::max<qsizetype>(image.sizeInBytes() / 1024, 1);
  memory_.insert(key, new QImage(image), kib);
  ++tally_.arrived;
  emit TileReady(key);
  StartLoads();
}

bool TileSource::ShouldStart(const TileKey& key, qint64 now) const {
  if (underWay_.contains(key) || absent_.contains(key) || memory_.contains(key)) return false;
  const auto failure = failures_.constFind(key);
  return failure == failures_.cend() || failure->retryAtMs <= now;
}

void TileSource::StartLoads() {
  // A source may fail a tile at once, calling back here (the loop goes on with the next tile), and
  // whoever hears of it may want other tiles: the list is read by index, a key copied.
  if (starting_) return;
  starting_ = true;
  const qint64 now = clockMs_();
  for (std::size_t i = 0; i < wanted_.size(); ++i) {
    const TileKey key = wanted_[i];
    if (underWay_.size() >= loading_.loadsAtOnce) break;
    if (!ShouldStart(key, now)) continue;
    underWay_.insert(key);
    ++tally_.started;
    Fetch(key);
  }
  starting_ = false;
  ScheduleRetry(now);
}

void TileSource::ScheduleRetry(qint64 now) {
  qint64 earliest = std::numeric_limits<qint64>::max();
  for (const TileKey& key : wanted_) {
    const auto failure = failures_.constFind(key);
    if (failure != failures_.cend() && failure->retryAtMs > now && !underWay_.contains(key)) {
      earliest = std::min(earliest, failure->retryAtMs);
    }
  }
  if (earliest == std::numeric_limits<qint64>::max()) {
    retryTimer_.stop();
  } else {
    retryTimer_.start(std::chrono::milliseconds(earliest - now));
  }
}
