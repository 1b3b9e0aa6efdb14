// The worker of a tile source, on the source's own thread: reads a tile from an offline store when
// it is given no bytes, and decodes the bytes into an image ready to draw. Internal to the sources.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <memory>

#include "dialog/tiles/tile_source.h"

class TileLoader : public QObject {
  Q_OBJECT

 public:
  explicit TileLoader(std::unique_ptr<TileReader> reader) : reader_(std::move(reader)) {}

  void Load(const TileKey& key, const QByteArray& bytes);

 signals:
  // A null image: the store has no such tile, or the bytes are not an image.
  void Loaded(const TileKey& key, const QImage& image);

 private:
  std::unique_ptr<TileReader> reader_;
};
