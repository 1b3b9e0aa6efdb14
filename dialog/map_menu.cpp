#include "dialog/map_menu.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>

#include "dialog/tiles/network_tiles.h"
#include "dialog/track_map.h"

MapMenu::MapMenu(CTrackMap& map, QWidget* parent) : QMenu(parent), map_(map) {
  setObjectName(QStringLiteral("mapMenu"));
  QAction* follow = addAction(QStringLiteral("&Follow the receiver"));
  follow->setObjectName(QStringLiteral("followAction"));
  follow->setCheckable(true);
  connect(follow, &QAction::toggled, this, [this](bool on) { map_.SetFollow(on); });
  addSection(QStringLiteral("Map tiles"));
  auto* group = new QActionGroup(this);
  const auto choice = [this, group](const char* text, const char* name) {
    QAction* action = addAction(QString::fromUtf8(text));
    action->setObjectName(QLatin1String(name));
    action->setCheckable(true);
    group->addAction(action);
    return action;
  };
  openStreetMap_ = choice("&OpenStreetMap (online)", "tilesOpenStreetMap");
  server_ = choice("Another tile &server...", "tilesServer");
  file_ = choice("&MBTiles file...", "tilesFile");
  folder_ = choice("Fol&der of tiles...", "tilesFolder");
  off_ = choice("&No tiles", "tilesOff");
  connect(openStreetMap_, &QAction::triggered, this, [this] { Choose(QString()); });
  connect(server_, &QAction::triggered, this, &MapMenu::ChooseServer);
  connect(file_, &QAction::triggered, this, &MapMenu::ChooseFile);
  connect(folder_, &QAction::triggered, this, &MapMenu::ChooseFolder);
  connect(off_, &QAction::triggered, this, [this] { Choose(QStringLiteral("off")); });
  SetTiles(TileSettings{QStringLiteral("off"), QString(), false});
}

void MapMenu::SetTiles(const TileSettings& tiles) {
  tiles_ = tiles;
  QString error;
  map_.SetTileSource(MakeTileSource(tiles_, TileLoading{}, &error));
  map_.SetNote(error.isEmpty() ? QString() : QStringLiteral("Map tiles: ") + error);
  Tick();
}

void MapMenu::Tick() {
  const QString text = tiles_.tiles.trimmed();
  QAction* chosen = folder_;
  if (text.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) {
    chosen = off_;
  } else if (text.isEmpty() || text == DefaultTileTemplate()) {
    chosen = openStreetMap_;
  } else if (text.contains(QLatin1String("://"))) {
    chosen = server_;
  } else if (!QFileInfo(text).isDir()) {
    chosen = file_;
  }
  chosen->setChecked(true);
  // The choice's place, to see which server, file or folder it is.
  for (QAction* action : {server_, file_, folder_}) {
    action->setToolTip(action == chosen ? text : QString());
    action->setStatusTip(action->toolTip());
  }
  setToolTipsVisible(true);
}

void MapMenu::Choose(const QString& tiles) { SetTiles(TileSettings{tiles, QString(), false}); }

void MapMenu::ChooseServer() {
  const QString current = tiles_.tiles.contains(QLatin1String("://")) ? tiles_.tiles : QString();
  bool ok = false;
  const QString url = QInputDialog::getText(
      parentWidget(), QStringLiteral("Tile server"),
      QStringLiteral("The tile server's address, with {z}, {x} and {y} (or {-y}) where the zoom, "
                     "column and row go:"),
      QLineEdit::Normal, current.isEmpty() ? DefaultTileTemplate() : current, &ok);
  if (ok && !url.trimmed().isEmpty()) {
    Choose(url.trimmed());
  } else {
    Tick();  // back on the choice before
  }
}

void MapMenu::ChooseFile() {
  const QString path =
      QFileDialog::getOpenFileName(parentWidget(), QStringLiteral("MBTiles file"), QString(),
                                   QStringLiteral("MBTiles files (*.mbtiles);;All files (*)"));
  if (!path.isEmpty()) {
    Choose(path);
  } else {
    Tick();
  }
}

void MapMenu::ChooseFolder() {
  const QString path = QFileDialog::getExistingDirectory(
      parentWidget(), QStringLiteral("Folder of tiles (ZOOM/X/Y.png)"));
  if (!path.isEmpty()) {
    Choose(path);
  } else {
    Tick();
  }
}
