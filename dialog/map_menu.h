// The map's menu (a button over the map, and the map's context menu): follow the receiver, and
// where the map's tiles come from: OpenStreetMap, another tile server, an MBTiles file, a folder
// of tiles, or none. A choice is given to the map at once and kept for the window's settings.
#pragma once

#include <QMenu>

#include "dialog/tiles/tile_settings.h"

class CTrackMap;
class QAction;

class MapMenu : public QMenu {
  Q_OBJECT

 public:
  MapMenu(CTrackMap& map, QWidget* parent);

  // Gives the map the tiles the settings name (a setting that cannot be used leaves the map
  // without tiles and says why in its status line) and ticks the choice in the menu.
  void SetTiles(const TileSettings& tiles);
  const TileSettings& Tiles() const { return tiles_; }

 private:
  // A choice made in the menu: tiles is the setting's text.
  void Choose(const QString& tiles);
  // Ticks the choice tiles_ is (a choice given up leaves the tick on another action).
  void Tick();
  void ChooseServer();
  void ChooseFile();
  void ChooseFolder();

  CTrackMap& map_;
  TileSettings tiles_;
  QAction* openStreetMap_ = nullptr;
  QAction* server_ = nullptr;
  QAction* file_ = nullptr;
  QAction* folder_ = nullptr;
  QAction* off_ = nullptr;
};
