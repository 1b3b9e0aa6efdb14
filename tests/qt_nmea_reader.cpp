// For test scripts: Qt Positioning's NMEA source reading a track file in simulation mode. Prints
// one line per position update: the timestamp (ISO, UTC, milliseconds), latitude, longitude, and
// the ground speed (m/s) and direction (degrees), or "-" for an attribute the update lacks. Ends
// after COUNT updates, or after a minute. Usage: wayloom_qt_nmea_reader TRACK COUNT
#include <QCoreApplication>
#include <QFile>
#include <QGeoPositionInfo>
#include <QNmeaPositionInfoSource>
#include <QTimer>
#include <cstdio>

namespace {

QString Attribute(const QGeoPositionInfo& info, QGeoPositionInfo::Attribute attribute) {
  return info.hasAttribute(attribute) ? QString::number(info.attribute(attribute), 'f', 3)
                                      : QStringLiteral("-");
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fputs("usage: wayloom_qt_nmea_reader TRACK COUNT\n", stderr);
    return 2;
  }
  QFile track(QString::fromLocal8Bit(argv[1]));
  if (!track.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  const int wanted = QString::fromLatin1(argv[2]).toInt();
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
