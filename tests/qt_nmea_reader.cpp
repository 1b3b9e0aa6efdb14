// For test scripts: Qt Positioning's NMEA sources reading a track file in simulation mode. Prints
// one line per position update: the timestamp (ISO, UTC, milliseconds), latitude, longitude, and
// the ground speed (m/s) and direction (degrees), or "-" for an attribute the update lacks. With
// "satellites", its satellite source instead: one line per update of the satellites in view or in
// use, "view" or "use" and how many of each system (GPS, GLONASS, Galileo, BeiDou, other), then
// each satellite as SYSTEM:ID:ELEVATION:AZIMUTH:SIGNAL. Ends after COUNT updates, or after a
// minute. Usage: wayloom_qt_nmea_reader TRACK COUNT [satellites]
#include <QCoreApplication>
#include <QFile>
#include <QGeoPositionInfo>
#include <QGeoSatelliteInfo>
#include <QNmeaPositionInfoSource>
#include <QNmeaSatelliteInfoSource>
#include <QTimer>
#include <cstdio>

namespace {

QString Attribute(const QGeoPositionInfo& info, QGeoPositionInfo::Attribute attribute) {
  return info.hasAttribute(attribute) ? QString::number(info.attribute(attribute), 'f', 3)
                                      : QStringLiteral("-");
}

// "view 7 0 5 0 0 G:5:72:48:46 ...": the satellites of an update, counted by system.
void PrintSatellites(const char* what, const QList<QGeoSatelliteInfo>& satellites) {
  int counts[5] = {0, 0, 0, 0, 0};
  QString list;
  for (const QGeoSatelliteInfo& satellite : satellites) {
    int system = 4;
    switch (satellite.satelliteSystem()) {
      case QGeoSatelliteInfo::GPS:
        system = 0;
        break;
      case QGeoSatelliteInfo::GLONASS:
        system = 1;
        break;
      case QGeoSatelliteInfo::GALILEO:
        system = 2;
        break;
      case QGeoSatelliteInfo::BEIDOU:
        system = 3;
        break;
      default:
        break;
    }
    ++counts[system];
    list += QStringLiteral(" %1:%2:%3:%4:%5")
                .arg(QLatin1Char("PLABO"[system]))
                .arg(satellite.satelliteIdentifier())
                .arg(satellite.attribute(QGeoSatelliteInfo::Elevation), 0, 'f', 0)
                .arg(satellite.attribute(QGeoSatelliteInfo::Azimuth), 0, 'f', 0)
                .arg(satellite.signalStrength());
  }
  std::printf("%s %d %d %d %d %d%s\n", what, counts[0], counts[1], counts[2], counts[3], counts[4],
              list.toLatin1().constData());
  std::fflush(stdout);
}

// The satellite source on track: COUNT updates of the satellites in view or in use.
int ReadSatellites(QCoreApplication& app, QFile& track, int wanted) {
  QNmeaSatelliteInfoSource source(QNmeaSatelliteInfoSource::UpdateMode::SimulationMode);
  source.setDevice(&track);
  source.setUpdateInterval(50);
  int updates = 0;
  const auto count = [&] {
    if (++updates >= wanted) app.quit();
  };
  QObject::connect(&source, &QNmeaSatelliteInfoSource::satellitesInViewUpdated,
                   [&](const QList<QGeoSatelliteInfo>& satellites) {
                     PrintSatellites("view", satellites);
                     count();
                   });
  QObject::connect(&source, &QNmeaSatelliteInfoSource::satellitesInUseUpdated,
                   [&](const QList<QGeoSatelliteInfo>& satellites) {
                     PrintSatellites("use", satellites);
                     count();
                   });
  QTimer::singleShot(60000, &app, &QCoreApplication::quit);
  source.startUpdates();
  return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc != 3 && !(argc == 4 && QLatin1String(argv[3]) == QLatin1String("satellites"))) {
    std::fputs("usage: wayloom_qt_nmea_reader TRACK COUNT [satellites]\n", stderr);
    return 2;
  }
  QFile track(QString::fromLocal8Bit(argv[1]));
  if (!track.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  const int wanted = QString::fromLatin1(argv[2]).toInt();
  if (argc == 4) return ReadSatellites(app, track, wanted);
  QNmeaPositionInfoSource source(QNmeaPositionInfoSource::SimulationMode);
  source.setDevice(&track);
  int updates = 0;
  QObject::connect(
      &source, &QNmeaPositionInfoSource::positionUpdated, [&](const QGeoPositionInfo& info) {
        const QString line = QStringLiteral("%1 %2 %3 %4 %5")
                                 .arg(info.timestamp().toUTC().toString(Qt::ISODateWithMs))
                                 .arg(info.coordinate().latitude(), 0, 'f', 7)
                                 .arg(info.coordinate().longitude(), 0, 'f', 7)
                                 .arg(Attribute(info, QGeoPositionInfo::GroundSpeed))
                                 .arg(Attribute(info, QGeoPositionInfo::Direction));
        std::printf("%s\n", line.toLatin1().constData());
        std::fflush(stdout);
        if (++updates >= wanted) app.quit();
      });
  QTimer::singleShot(60000, &app, &QCoreApplication::quit);
  source.startUpdates();
  return app.exec();
}
