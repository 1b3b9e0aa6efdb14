// The window beyond its first controls: the track map, live output, remembered settings, a dropped
// file and the proposed destination, and the tab order that keeps the first controls first.
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include "dialog/track_dlg.h"
#include "dialog/track_map.h"

namespace {

// Message boxes and the file dialog, scripted: messages are kept, the file dialog is cancelled.
class Scripted : public wayloom::Prompter, public FilePicker {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string&) override { return true; }
  QString PickFile(QWidget*, const QString&, const QString&, const QStringList&) override {
    return {};
  }
  QString PickFileNamed(QWidget*, const QString&, const QString&, const QStringList&,
                        const QString& name) override {
    proposed = name;
    return {};
  }
  std::vector<std::string> messages;
  QString proposed;
};

// Four points a few kilometres apart whose closest order (1, 3, 4, 2) is not their file order.
const QByteArray kPoints =
    "-3.1883,55.9533,Princes Street\n"
    "-3.2620,55.9440,Haymarket\n"
    "-3.1950,55.9480,Castle\n"
    "-3.2100,55.9450,Grassmarket\n";

struct Window {
  Window() {
    QFile file(dir.filePath(QStringLiteral("points.csv")));
    if (!file.open(QIODevice::WriteOnly) || file.write(kPoints) != kPoints.size())
      qFatal("no file");
    file.close();
    window.show();
    Edit("sourceEdit")->setText(file.fileName());
    Edit("destEdit")->setText(dir.filePath(QStringLiteral("track.nmea")));
  }
  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = window.findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QRgb PixelAt(const QImage& image, std::size_t point) {
    const QPointF at = window.Map().ScreenPos(window.Map().Track()->Points()[point].at);
    return image.pixel(at.toPoint());
  }

  QTemporaryDir dir;
  Scripted prompter;
  Scripted& picker = prompter;
  CTrackDlg window{nullptr, &prompter, &picker};
};

bool LiveMarkerShown(CTrackMap& map) {
  const QImage image = map.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
  return std::count(pixels, pixels + image.width() * image.height(), CTrackMap::kLiveRgb) > 0;
}

}  // namespace

class MapTest : public QObject {
  Q_OBJECT

 private slots:
  // Every point is drawn where its projection puts it, numbered in visiting order; the selected
  // source row's point is highlighted, and Fit brings every point back into view.
  void mapShowsTrack() {
    Window w;
    w.Find<QCheckBox>("reorderBox")->setChecked(true);
    w.Find<QPushButton>("createButton")->click();
    CTrackMap& map = w.window.Map();
    QVERIFY(map.Track());
    QCOMPARE(map.Track()->FixCount(), std::size_t(4));
    const std::uint32_t visits[] = {1, 4, 2, 3};
    for (std::size_t i = 0; i < 4; ++i) QCOMPARE(map.Track()->Points()[i].visit, visits[i]);

    // West is left, north is up: Haymarket lies west of Princes Street, the Castle north of it.
    QVERIFY(map.ScreenPos(map.Track()->Points()[1].at).x() <
            map.ScreenPos(map.Track()->Points()[0].at).x());
    QVERIFY(map.ScreenPos(map.Track()->Points()[2].at).y() <
            map.ScreenPos(map.Track()->Points()[3].at).y());
    w.Find<QTableView>("sourceTable")->selectRow(2);
    QImage image = map.grab().toImage();
    for (std::size_t i = 0; i < 4; ++i) {
      QCOMPARE(w.PixelAt(image, i), i == 2 ? CTrackMap::kSelectedRgb : CTrackMap::kPointRgb);
    }
    map.ZoomAt(QPointF(5, 5), 40.0);
    map.PanBy(QPointF(300, -200));
    w.Find<QPushButton>("fitButton")->click();
    const QRectF inner = QRectF(map.rect())
                             .adjusted(CTrackMap::kMargin - 1, CTrackMap::kMargin - 1,
                                       1 - CTrackMap::kMargin, 1 - CTrackMap::kMargin);
    for (const MapTrack::Point& point : map.Track()->Points())
      QVERIFY(inner.contains(map.ScreenPos(point.at)));
  }

  // Dated sentences from the window are the command line's --date sentences.
  void datedTrackAsCommandLine() {
    Window w;
    w.Find<QCheckBox>("dateBox")->setChecked(true);
    w.Find<QDateEdit>("dateEdit")->setDate(QDate(2026, 3, 7));
    w.Find<QCheckBox>("extraPointsBox")->setChecked(true);
    w.Find<QPushButton>("createButton")->click();
    QProcess cli;
    cli.start(QStringLiteral(WAYLOOM_CLI),
              {"--extra", "--date", "2026-03-07", w.Edit("sourceEdit")->text(), "-"});
    QVERIFY(cli.waitForFinished(-1));
    QFile track(w.Edit("destEdit")->text());
    QVERIFY(track.open(QIODevice::ReadOnly));
    const QByteArray expected = cli.readAllStandardOutput();
    QVERIFY(expected.contains(",070326,,*"));
    QCOMPARE(track.readAll(), expected);
  }

  void liveOutputEndsCleanly_data() {
    QTest::addColumn<int>("target");  // as the target list offers them: TCP, UDP, pseudo-terminal
    QTest::addColumn<bool>("byClosing");
    const char* const names[] = {"TCP", "UDP", "pseudo-terminal"};
    for (const int target : {0, 1, 2}) {
      QTest::addRow("%s, Stop", names[target]) << target << false;
      QTest::addRow("%s, window closed", names[target]) << target << true;
    }
  }

  // Live output reaches a TCP client, a UDP port or a pseudo-terminal link while the window goes
  // on answering; Stop or closing the window disconnects the client and removes the link.
  void liveOutputEndsCleanly() {
    QFETCH(int, target);
    QFETCH(bool, byClosing);
    Window w;
    const QString link = w.dir.filePath(QStringLiteral("gps"));
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    const QString addresses[] = {QStringLiteral("127.0.0.1:0"),
                                 QStringLiteral("127.0.0.1:%1").arg(udp.localPort()), link};
    w.Find<QComboBox>("liveTarget")->setCurrentIndex(target);
    w.Edit("liveAddress")->setText(addresses[target]);
    w.Edit("speedupEdit")->setText(QStringLiteral("50"));
    w.Find<QCheckBox>("loopBox")->setChecked(true);
    w.Find<QPushButton>("liveStart")->click();
    QVERIFY(w.prompter.messages.empty());
    auto* status = w.Find<QLabel>("liveStatus");
    QVERIFY(status->text().startsWith(QStringLiteral("Sending on ")));

    QTcpSocket client;
    QFile device(link);
    if (target == 0) {
      const QString address = status->text().section(QLatin1Char(' '), 2, 2).chopped(1);
      client.connectToHost(QStringLiteral("127.0.0.1"), address.section(':', -1).toUShort());
      QVERIFY(client.waitForConnected(5000));
    } else if (target == 2) {
      QVERIFY(QFileInfo(link).isSymLink());
      QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    }
    QByteArray received;
    while (received.count('\n') < 4) {
      if (target == 0) QVERIFY(client.waitForReadyRead(5000));
      if (target == 1) QVERIFY(udp.waitForReadyRead(5000));
      received += target == 0   ? client.readAll()
                  : target == 1 ? udp.receiveDatagram().data()
                                : device.read(4096);
    }
    QVERIFY(received.startsWith("$GPGGA") || received.contains("\r\n$GPGGA"));
    // The window goes on answering: the status names the point passed, the map marks the fix.
    QTRY_VERIFY(status->text().contains(QStringLiteral(", last point: ")));
    QTRY_VERIFY(LiveMarkerShown(w.window.Map()));

    if (byClosing) {
      w.window.close();
    } else {
      w.Find<QPushButton>("liveStop")->click();
      QVERIFY(status->text().startsWith(QStringLiteral("Stopped on ")));
      QVERIFY(w.Find<QPushButton>("liveStart")->isEnabled());
    }
    if (target == 0) QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
  }

  // The first controls keep their tab order; the new ones follow them.
  void tabOrder() {
    Window w;
    const QStringList expected{
        "exitButton",   "sourceEdit",     "browseSourceButton", "destEdit",    "browseDestButton",
        "createButton", "sourceTable",    "stepEdit",           "periodEdit",  "nmeaTable",
        "reorderBox",   "extraPointsBox", "trackMap",           "fitButton",   "dateBox",
        "dateEdit",     "liveTarget",     "liveAddress",        "speedupEdit", "loopBox",
        "liveStart",    "liveStop",       "receiverBox",        "speedEdit",   "dwellEdit",
        "startEdit",    "noiseEdit",      "sentencesEdit",      "seedEdit"};
    QStringList order;
    QWidget* widget = w.Find("exitButton");
    do {
      if (expected.contains(widget->objectName())) order << widget->objectName();
      widget = widget->nextInFocusChain();
    } while (widget != w.Find("exitButton"));
    QCOMPARE(order, expected);
  }

  // A first start shows the defaults; what was typed is there again at the next start, with the
  // size. A dropped file becomes the source; Browse proposes its name for the destination.
  void settingsDropAndProposedName() {
    QTemporaryDir store;
    QSize saved;
    QSettings settings(store.filePath(QStringLiteral("wayloom.ini")), QSettings::IniFormat);
    {
      Window first;
      first.window.UpdateData(false);  // the engine's defaults, as a fresh window shows them
      first.window.RestoreSettings(settings);
      QCOMPARE(first.Edit("sourceEdit")->text(), QStringLiteral("C:\\KORVA\\X\\M25.csv"));
      first.Edit("periodEdit")->setText(QStringLiteral("0.5"));
      first.Edit("liveAddress")->setText(QStringLiteral("[::1]:2947"));
      first.Find<QCheckBox>("extraPointsBox")->setChecked(true);
      first.Find<QCheckBox>("receiverBox")->setChecked(true);
      first.Edit("sentencesEdit")->setText(QStringLiteral("RMC,ZDA"));
      first.window.resize(first.window.minimumSizeHint());  // not the size a window starts with
      saved = first.window.size();
      first.window.SaveSettings(settings);
    }
    Window second;
    second.window.RestoreSettings(settings);
    QCOMPARE(second.Edit("sourceEdit")->text(), QStringLiteral("C:\\KORVA\\X\\M25.csv"));
    QCOMPARE(second.Edit("periodEdit")->text(), QStringLiteral("0.5"));
    QCOMPARE(second.Edit("liveAddress")->text(), QStringLiteral("[::1]:2947"));
    QVERIFY(second.Find<QCheckBox>("extraPointsBox")->isChecked());
    QVERIFY(second.Find<QCheckBox>("receiverBox")->isChecked());
    QCOMPARE(second.Edit("sentencesEdit")->text(), QStringLiteral("RMC,ZDA"));
    QVERIFY(saved != Window().window.size());
    QCOMPARE(second.window.size(), saved);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/srv/poi/harbours.csv"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&second.window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&second.window, &drop);
    QCOMPARE(second.Edit("sourceEdit")->text(), QStringLiteral("/srv/poi/harbours.csv"));
    second.Find<QPushButton>("browseDestButton")->click();
    QCOMPARE(second.picker.proposed, QStringLiteral("harbours.nmea"));
  }
};

QTEST_MAIN(MapTest)
#include "test_map.moc"
