// Receiver mode in the window: the command line's bytes and messages, the output table, the map
// and live output.
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include "dialog/track_dlg.h"
#include "dialog/track_map.h"

namespace {

// Edits of the window, the options of the same meaning, and values for both.
const char kSettings[] =
    "speedEdit --speed 40km/h dwellEdit --dwell 2 startEdit --start 23:59:58 sentencesEdit "
    "--sentences gga,RMC,ZDA noiseEdit --noise 3 seedEdit --seed 7 periodEdit --period 0.5";

struct Window : wayloom::Prompter {
  Window() {
    QFile file(dir.filePath(QStringLiteral("points.csv")));
    // Four points whose closest order (1, 3, 4, 2) is not their file order.
    file.open(QIODevice::WriteOnly);
    file.write(
        "-3.1883,55.9533,Princes Street\n-3.2620,55.9440,Haymarket\n"
        "-3.1950,55.9480,Castle\n-3.2100,55.9450,Grassmarket\n");
    Edit("sourceEdit")->setText(file.fileName());
    Edit("destEdit")->setText(dir.filePath(QStringLiteral("track.nmea")));
    window.findChild<QCheckBox*>("receiverBox")->setChecked(true);
    window.findChild<QCheckBox*>("dateBox")->setChecked(true);
    window.findChild<QDateEdit*>("dateEdit")->setDate(QDate(2026, 12, 31));
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string&) override { return true; }
  QLineEdit* Edit(const char* name) { return window.findChild<QLineEdit*>(name); }
  void Click(const char* name) { window.findChild<QPushButton*>(name)->click(); }
  // What wayloom-cli writes for the source with these options (DEST -), and its first message.
  QByteArray Cli(const QString& options, QString* message = nullptr) {
    QProcess cli;
    cli.start(WAYLOOM_CLI, options.split(' ')
                               << "--date=2026-12-31" << Edit("sourceEdit")->text() << "-");
    cli.waitForFinished(-1);
    if (message) *message = QString::fromUtf8(cli.readAllStandardError()).section('\n', 0, 0);
    return cli.readAllStandardOutput();
  }

  QTemporaryDir dir;
  std::vector<std::string> messages;
  CTrackDlg window{nullptr, this};
};

}  // namespace

class ReceiverTest : public QObject {
  Q_OBJECT

 private slots:
  // Every setting reaches the track as its option does, in file and in closest order; the table
  // shows each sentence, the map numbers the points as they were reached, live output sends fixes.
  void sameBytesAsCommandLine() {
    for (const bool reorder : {false, true}) {
      Window w;
      QString options = reorder ? "--reorder" : "--quiet";
      const QStringList settings = QString(kSettings).split(' ');
      for (qsizetype i = 0; i < settings.size(); i += 3) {
        w.Edit(settings[i].toLatin1())->setText(settings[i + 2]);
        options += ' ' + settings[i + 1] + ' ' + settings[i + 2];
      }
      w.window.findChild<QCheckBox*>("reorderBox")->setChecked(reorder);
      w.Click("createButton");
      const QByteArray expected = w.Cli(options);
      QFile track(w.Edit("destEdit")->text());
      QVERIFY(track.open(QIODevice::ReadOnly));
      QCOMPARE(track.readAll(), expected);
      QCOMPARE(w.window.findChild<QTableView*>("nmeaTable")->model()->rowCount(),
               expected.count('\n'));
      const MapTrack& map = *w.window.Map().Track();
      QCOMPARE(map.FixCount() * 3, std::size_t(expected.count('\n')));
      const std::uint32_t visits[2][4] = {{1, 2, 3, 4}, {1, 4, 2, 3}};
      for (std::size_t i = 0; i < 4; ++i) QCOMPARE(map.Points()[i].visit, visits[reorder][i]);

      QUdpSocket udp;
      QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
      w.window.findChild<QComboBox*>("liveTarget")->setCurrentIndex(1);
      w.Edit("liveAddress")->setText(QStringLiteral("127.0.0.1:%1").arg(udp.localPort()));
      w.Click("liveStart");
      QVERIFY(udp.waitForReadyRead(5000));
      const QByteArray datagram = udp.receiveDatagram().data();
      QVERIFY(datagram.count('\n') == 3 && expected.startsWith(datagram));
      QTRY_VERIFY(w.window.findChild<QLabel*>("liveStatus")->text().contains("Princes Street"));
      w.Click("liveStop");
    }
  }

  // A value the command line refuses is refused with its message, by "Create NMEA Track" and by
  // live output's Start alike, and nothing is written or started.
  void refusesWhatTheCommandLineRefuses() {
    for (const auto& [control, value, options] : {std::tuple{"speedEdit", "0", "--speed 0"},
                                                  {"periodEdit", "1e0", "--speed 1 --period 1e0"},
                                                  {"startEdit", "now", "--speed 1 --start now"},
                                                  {"extraPointsBox", "", "--speed 1 --extra"}}) {
      Window w;
      if (auto* box = w.window.findChild<QCheckBox*>(control)) box->setChecked(true);
      if (auto* edit = w.Edit(control)) edit->setText(value);
      QString message;
      w.Cli(options, &message);
      w.Click("createButton");
      w.Click("liveStart");
      QCOMPARE(w.messages, std::vector<std::string>(2, message.mid(13).toStdString()));
      QVERIFY(!QFileInfo::exists(w.Edit("destEdit")->text()));
      QVERIFY(w.window.findChild<QPushButton*>("liveStart")->isEnabled());
    }
  }
};

QTEST_MAIN(ReceiverTest)
#include "test_receiver.moc"
