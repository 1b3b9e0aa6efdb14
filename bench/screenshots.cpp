// Makes the README's pictures of the window, headless (QT_QPA_PLATFORM=offscreen): a closest-order
// track of the sample with a point selected, a live feed to three TCP clients on loopback, a
// receiver-mode track under a sky of two systems, the live monitor of a receiver feed, and the
// map over test-pattern tiles the program writes to a folder of its own (never a tile server)
// with a live trail and a sentence's fix. Each is the window as a user leaves it, grabbed once
// its map has been drawn.
//
// Usage: wayloom_screenshots SAMPLE.csv OUTDIR

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/host.h"
#include "bench/answer_yes.h"
#include "bench/pattern_tiles.h"
#include "dialog/map_menu.h"
#include "dialog/route_editor.h"
#include "dialog/track_dlg.h"

namespace {

// Runs the event loop for ms milliseconds, so that the map's worker delivers its drawing.
void Settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

template <typename Widget>
Widget* Find(CTrackDlg& window, const char* name) {
  auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
  if (!widget) std::fprintf(stderr, "no widget %s\n", name);
  return widget;
}

bool Save(CTrackDlg& window, const QString& path) {
  Settle(1500);
  const bool saved = window.grab().save(path);
  std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

// A fresh window at the size the pictures share, its source the sample, its track in dir.
std::unique_ptr<CTrackDlg> Window(AnswerYes& prompter, const QString& sample, const QString& dest) {
  auto window = std::make_unique<CTrackDlg>(nullptr, &prompter);
  window->resize(1120, 720);
  window->show();
  Find<QLineEdit>(*window, "sourceEdit")->setText(sample);
  Find<QLineEdit>(*window, "destEdit")->setText(dest);
  return window;
}

bool TrackPicture(AnswerYes& prompter, const QString& sample, const QDir& dir, const QString& out) {
  auto window = Window(prompter, sample, dir.filePath(QStringLiteral("closest.nmea")));
  Find<QCheckBox>(*window, "reorderBox")->setChecked(true);
  Find<QPushButton>(*window, "createButton")->click();
  auto* table = Find<QTableView>(*window, "sourceTable");
  const QModelIndexList kinross = table->model()->match(
      table->model()->index(0, 2), Qt::DisplayRole, QStringLiteral("Kinross"), 1, Qt::MatchExactly);
  if (!kinross.isEmpty()) table->selectRow(kinross.first().row());
  return Save(*window, out);
}

// The sample's route being edited: a point added after Kinross by the table's menu, named, and
// the route's speeds typed for two stretches, the new row selected.
bool RoutePicture(AnswerYes& prompter, const QString& sample, const QDir& dir, const QString& out) {
  auto window = Window(prompter, sample, dir.filePath(QStringLiteral("route.nmea")));
  Find<QPushButton>(*window, "createButton")->click();
  window->findChild<QAction*>(QStringLiteral("editRouteAction"))->trigger();
  RouteEditor& route = window->Route();
  auto* table = Find<QTableView>(*window, "sourceTable");
  table->setCurrentIndex(route.index(9, 0));
  window->findChild<QAction*>(QStringLiteral("addPointAction"))->trigger();
  route.setData(route.index(10, 2), QStringLiteral("Lay-by north of Kinross"), Qt::EditRole);
  route.setData(route.index(3, 4), QStringLiteral("13.9"), Qt::EditRole);
  route.setData(route.index(4, 4), QStringLiteral("22.2"), Qt::EditRole);
  table->selectRow(10);
  table->scrollTo(route.index(10, 0));
  return Save(*window, out);
}

// Starts live output to TCP clients at speedUp times the track's pace; returns the port.
quint16 StartLive(CTrackDlg& window, const char* speedUp, bool loop) {
  Find<QTabWidget>(window, "settingsTabs")->setCurrentIndex(1);
  auto* outputs = Find<QListWidget>(window, "liveOutputs");
  outputs->setCurrentRow(0);
  Find<QLineEdit>(window, "liveAddress")->setText(QStringLiteral("127.0.0.1:0"));
  outputs->item(0)->setCheckState(Qt::Checked);
  Find<QLineEdit>(window, "speedupEdit")->setText(QString::fromLatin1(speedUp));
  Find<QCheckBox>(window, "loopBox")->setChecked(loop);
  Find<QPushButton>(window, "liveStart")->click();
  Settle(500);
  const QString status = Find<QLabel>(window, "liveStatus")->text();
  return status.split(QLatin1Char('\n')).value(1).section(QLatin1Char(':'), 1, 1).toUShort();
}

bool LivePicture(AnswerYes& prompter, const QString& sample, const QDir& dir, const QString& out) {
  auto window = Window(prompter, sample, dir.filePath(QStringLiteral("live.nmea")));
  Find<QPushButton>(*window, "createButton")->click();
  const quint16 port = StartLive(*window, "20", true);
  std::vector<std::unique_ptr<QTcpSocket>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<QTcpSocket>());
    clients.back()->connectToHost(QStringLiteral("127.0.0.1"), port);
    clients.back()->waitForConnected(5000);
  }
  Settle(4000);
  const bool saved = Save(*window, out);
  Find<QPushButton>(*window, "liveStop")->click();
  return saved;
}

bool ReceiverPicture(AnswerYes& prompter, const QString& sample, const QDir& dir,
                     const QString& out) {
  auto window = Window(prompter, sample, dir.filePath(QStringLiteral("receiver.nmea")));
  Find<QTabWidget>(*window, "settingsTabs")->setCurrentIndex(2);
  Find<QCheckBox>(*window, "receiverBox")->setChecked(true);
  Find<QLineEdit>(*window, "speedEdit")->setText(QStringLiteral("50 km/h"));
  Find<QLineEdit>(*window, "systemsEdit")->setText(QStringLiteral("gps,galileo"));
  Find<QLineEdit>(*window, "outagesEdit")->setText(QStringLiteral("600+60"));
  Find<QPushButton>(*window, "createButton")->click();
  Find<QTableView>(*window, "nmeaTable")->selectRow(12);
  return Save(*window, out);
}

// The live monitor of a receiver feed at ten fixes a second, seven sentences each, to two TCP
// clients, with two presets saved.
bool MonitorPicture(AnswerYes& prompter, const QString& sample, const QDir& dir,
                    const QString& out) {
  auto window = Window(prompter, sample, dir.filePath(QStringLiteral("monitor.nmea")));
  QSettings settings(dir.filePath(QStringLiteral("monitor.ini")), QSettings::IniFormat);
  window->RestoreSettings(settings);
  window->resize(1120, 720);
  Find<QTabWidget>(*window, "settingsTabs")->setCurrentIndex(1);
  Find<QCheckBox>(*window, "receiverBox")->setChecked(true);
  Find<QLineEdit>(*window, "speedEdit")->setText(QStringLiteral("50 km/h"));
  Find<QLineEdit>(*window, "periodEdit")->setText(QStringLiteral("0.1"));
  Find<QLineEdit>(*window, "sentencesEdit")->setText(QStringLiteral("RMC,GGA,GLL,VTG,GSA,ZDA,GNS"));
  Find<QPushButton>(*window, "createButton")->click();
  auto* outputs = Find<QListWidget>(*window, "liveOutputs");
  outputs->setCurrentRow(1);
  outputs->item(1)->setCheckState(Qt::Checked);
  outputs->item(0)->setCheckState(Qt::Unchecked);
  window->SavePreset(QStringLiteral("plotter on UDP 10110"));
  outputs->setCurrentRow(0);
  Find<QLineEdit>(*window, "liveAddress")->setText(QStringLiteral("127.0.0.1:0"));
  outputs->item(0)->setCheckState(Qt::Checked);
  outputs->item(1)->setCheckState(Qt::Unchecked);
  window->SavePreset(QStringLiteral("gpsd over TCP"));
  Find<QPushButton>(*window, "liveStart")->click();
  Settle(500);
  Find<QAbstractButton>(*window, "fitButton")->click();  // the map has given the monitor room
  const QString tcp = Find<QLabel>(*window, "liveStatus")->text().split(QLatin1Char('\n')).value(1);
  std::vector<std::unique_ptr<QTcpSocket>> clients;
  for (int i = 0; i < 2; ++i) {
    clients.push_back(std::make_unique<QTcpSocket>());
    clients.back()->connectToHost(QStringLiteral("127.0.0.1"),
                                  tcp.section(QLatin1Char(':'), 1, 1).toUShort());
    clients.back()->waitForConnected(5000);
  }
  Settle(4000);
  const bool saved = Save(*window, out);
  Find<QPushButton>(*window, "liveStop")->click();
  return saved;
}

// The map over tiles of a test pattern (each tile names its zoom, column and row; the program
// writes them to a folder), a selected sentence's fix marked and the trail of a live run.
bool TilesPicture(AnswerYes& prompter, const QString& sample, const QDir& dir, const QString& out) {
  auto window = Window(prompter, sample, dir.filePath(QStringLiteral("tiles.nmea")));
  Find<QCheckBox>(*window, "reorderBox")->setChecked(true);
  Find<QCheckBox>(*window, "extraPointsBox")->setChecked(true);
  Find<QLineEdit>(*window, "stepEdit")->setText(QStringLiteral("500"));
  Find<QPushButton>(*window, "createButton")->click();
  const QString folder = dir.filePath(QStringLiteral("tiles"));
  int deepest = 0;
  if (WritePatternTilesAround(window->Map(), folder, &deepest) <= 0) return false;
  window->findChild<MapMenu*>()->SetTiles(TileSettings{
      folder, QStringLiteral("Test pattern tiles made by Wayloom's screenshot tool"), false});
  Find<QTableView>(*window, "nmeaTable")->selectRow(600);
  StartLive(*window, "40", false);
  Settle(4000);
  const bool saved = Save(*window, out);
  Find<QPushButton>(*window, "liveStop")->click();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wayloom_screenshots SAMPLE.csv OUTDIR\n");
    return 2;
  }
  // The window keeps its settings under the configuration folder: a folder of its own, so that
  // the pictures show the window as it starts and the user's settings stay as they are.
  QTemporaryDir work;
  qputenv("XDG_CONFIG_HOME", work.path().toLocal8Bit());
  qputenv("WAYLOOM_TILES", "off");  // only the tiles written here, never a tile server
  QApplication app(argc, argv);
  AnswerYes prompter;
  const QDir dir(work.path());
  const QString sample = QString::fromLocal8Bit(argv[1]);
  const QDir out(QString::fromLocal8Bit(argv[2]));
  const bool made =
      TrackPicture(prompter, sample, dir, out.filePath(QStringLiteral("window.png"))) &&
      RoutePicture(prompter, sample, dir, out.filePath(QStringLiteral("window-route.png"))) &&
      LivePicture(prompter, sample, dir, out.filePath(QStringLiteral("window-live.png"))) &&
      ReceiverPicture(prompter, sample, dir, out.filePath(QStringLiteral("window-receiver.png"))) &&
      MonitorPicture(prompter, sample, dir, out.filePath(QStringLiteral("window-monitor.png"))) &&
      TilesPicture(prompter, sample, dir, out.filePath(QStringLiteral("window-tiles.png")));
  return made ? 0 : 1;
}
