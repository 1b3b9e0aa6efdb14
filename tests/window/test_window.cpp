// The Wayloom window, driven the way a person drives it: typing in the edits, pressing its buttons
// and keys. Message boxes and the file dialog are replaced by scripted ones, so nothing waits for a
// click.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <clocale>

#include "dialog/about_dlg.h"
#include "dialog/track_dlg.h"

namespace {

class ScriptedPrompter : public wayloom::Prompter {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    return answer;
  }
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answer = false;
};

class ScriptedPicker : public FilePicker {
 public:
  QString PickFile(QWidget*, const QString& title, const QString& directory,
                   const QStringList& nameFilters) override {
    ++calls;
    askedTitle = title;
    askedDirectory = directory;
    askedFilters = nameFilters;
    return answer;
  }
  QString answer;  // empty: the person cancelled
  int calls = 0;
  QString askedTitle;
  QString askedDirectory;
  QStringList askedFilters;
};

// A window with scripted message boxes and file dialog.
struct Session {
  Session() { window.show(); }
  template <typename T>
  T* Find(const char* name) {
    T* widget = window.findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QAbstractItemModel* Model(const char* view) { return Find<QTableView>(view)->model(); }
  void Type(const char* edit, const QString& text) {
    Edit(edit)->selectAll();
    QTest::keyClicks(Edit(edit), text);
  }
  void Press(const char* button) { Find<QPushButton>(button)->click(); }

  ScriptedPrompter prompter;
  ScriptedPicker picker;
  CTrackDlg window{nullptr, &prompter, &picker};
};

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// A POI file with what real ones hold: a heading, CR LF line ends, signs, a fourth piece.
const QByteArray kThreePoints =
    "Longitude,Latitude,Name\r\n"
    "24.9384,60.1699,Helsinki harbour,ferry\r\n"
    "-3.70379,40.41678,Plaza Mayor\r\n"
    "151.2153,-33.8568,Opera House\r\n";

QByteArray ManyPoints(int count) {
  QByteArray text;
  for (int i = 1; i <= count; ++i) {
    text += QByteArray::number(-122.0 + i * 0.0001, 'f', 6) + ',' +
            QByteArray::number(37.0 + i * 0.00007, 'f', 6) + ",point " + QByteArray::number(i) +
            '\n';
  }
  return text;
}

QByteArray CommandLineTrack(const QString& source, const QString& dest, QStringList options) {
  QProcess cli;
  options << QStringLiteral("--yes") << QStringLiteral("--quiet") << source << dest;
  cli.start(QStringLiteral(WAYLOOM_CLI), options);
  if (!cli.waitForFinished(-1) || cli.exitCode() != 0) return "<wayloom-cli failed>";
  return ReadFile(dest);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void freshStartShowsDefaults() {
    Session session;
    QCOMPARE(session.window.windowTitle(), QStringLiteral("Wayloom"));
    QCOMPARE(session.Edit("sourceEdit")->text(), QStringLiteral("C:\\KORVA\\X\\M25.csv"));
    QCOMPARE(session.Edit("destEdit")->text(), QStringLiteral("C:\\KORVA\\X\\M25.txt"));
    QCOMPARE(session.Edit("stepEdit")->text(), QStringLiteral("100"));
    QCOMPARE(session.Edit("periodEdit")->text(), QStringLiteral("1"));
    QVERIFY(!session.Find<QCheckBox>("reorderBox")->isChecked());
    QVERIFY(!session.Find<QCheckBox>("extraPointsBox")->isChecked());
    for (const char* view : {"sourceTable", "nmeaTable"}) {
      QCOMPARE(session.Model(view)->columnCount(), 0);
      QCOMPARE(session.Model(view)->rowCount(), 0);
    }
    // The step takes digits only; the period takes any text.
    session.Type("stepEdit", QStringLiteral("2a5-0.5"));
    QCOMPARE(session.Edit("stepEdit")->text(), QStringLiteral("2505"));
    session.Type("periodEdit", QStringLiteral("-0.5s"));
    QCOMPARE(session.Edit("periodEdit")->text(), QStringLiteral("-0.5s"));
  }

  void createTrackWritesFileAndFillsTables() {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("points.csv"));
    const QString dest = dir.filePath(QStringLiteral("track.nmea"));
    WriteFile(source, kThreePoints);
    Session session;
    session.Type("sourceEdit", source);
    session.Type("destEdit", dest);
    session.Press("createButton");

    QVERIFY(session.prompter.messages.empty());
    const QList<QByteArray> lines = ReadFile(dest).split('\n');
    QCOMPARE(lines.size(), 7);  // six sentences, each ended by CR LF
    QVERIFY(lines.last().isEmpty());

    QAbstractItemModel* sourceModel = session.Model("sourceTable");
    QHeaderView* sourceHeader = session.Find<QTableView>("sourceTable")->horizontalHeader();
    const QStringList titles{"Latitude", "Longitude", "Description", "Distance"};
    const int widths[] = {100, 100, 260, 95};
    QCOMPARE(sourceModel->columnCount(), 4);
    for (int column = 0; column < 4; ++column) {
      QCOMPARE(sourceModel->headerData(column, Qt::Horizontal).toString(), titles[column]);
      QCOMPARE(sourceHeader->sectionSize(column), widths[column]);
    }
    QCOMPARE(sourceModel->rowCount(), 4);  // three points and the blank last row
    QCOMPARE(sourceModel->index(2, 0).data().toString(), QStringLiteral("-33.8568"));
    QCOMPARE(sourceModel->index(2, 1).data().toString(), QStringLiteral("151.2153"));
    QCOMPARE(sourceModel->index(2, 2).data().toString(), QStringLiteral("Opera House"));
    for (int column = 0; column < 4; ++column)
      QVERIFY(sourceModel->index(3, column).data().toString().isEmpty());

    QAbstractItemModel* nmeaModel = session.Model("nmeaTable");
    QCOMPARE(nmeaModel->columnCount(), 1);
    QCOMPARE(nmeaModel->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NMEA strings"));
    QCOMPARE(session.Find<QTableView>("nmeaTable")->horizontalHeader()->sectionSize(0), 500);
    QCOMPARE(nmeaModel->rowCount(), 6);
    for (int row = 0; row < 6; ++row) {
      QVERIFY(lines[row].endsWith('\r'));
      QCOMPARE(nmeaModel->index(row, 0).data().toString().toLatin1() + '\r', lines[row]);
    }
    QVERIFY(lines[4].startsWith("$GPGGA,010002.000,3351.408"));

    const QString picture = QStringLiteral(WAYLOOM_TEST_OUTPUT_DIR "/window-after-track.png");
    QVERIFY(session.window.grab().save(picture));
  }

  void overwriteQuestion_data() {
    QTest::addColumn<bool>("answer");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
  }

  void overwriteQuestion() {
    QFETCH(bool, answer);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("points.csv"));
    const QString dest = dir.filePath(QStringLiteral("track.nmea"));
    WriteFile(source, kThreePoints);
    WriteFile(dest, "keep me\n");
    Session session;
    session.prompter.answer = answer;
    session.Type("sourceEdit", source);
    session.Type("destEdit", dest);
    session.Press("createButton");

    QCOMPARE(session.prompter.questions,
             std::vector<std::string>{"The output file already exists\noverwrite ?"});
    QVERIFY(session.prompter.messages.empty());
    QCOMPARE(session.Model("sourceTable")->rowCount(), 4);
    if (answer) {
      QCOMPARE(ReadFile(dest).count('\n'), 6);
      QCOMPARE(session.Model("nmeaTable")->rowCount(), 6);
    } else {
      QCOMPARE(ReadFile(dest), QByteArray("keep me\n"));
      QCOMPARE(session.Model("nmeaTable")->columnCount(), 0);
    }
  }

  void browse_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("source, cancelled") << "browseSourceButton"
                                       << "";
    QTest::newRow("source, chosen") << "browseSourceButton"
                                    << "/srv/poi/harbours.csv";
    QTest::newRow("destination, cancelled") << "browseDestButton"
                                            << "";
    QTest::newRow("destination, chosen") << "browseDestButton"
                                         << "/srv/out/track.txt";
  }

  // Browse takes in everything typed before it shows a path, and shows nothing when cancelled. It
  // starts in the folder of the path in its edit, or at home when that folder does not exist.
  void browse() {
    QFETCH(QString, button);
    QFETCH(QString, chosen);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("points.csv"));
    const QString dest = dir.filePath(QStringLiteral("missing/track.txt"));
    Session session;
    session.picker.answer = chosen;
    session.Type("sourceEdit", source);
    session.Type("destEdit", dest);
    session.Type("stepEdit", QStringLiteral("250"));
    session.Type("periodEdit", QStringLiteral("0.5"));
    session.Find<QCheckBox>("reorderBox")->setChecked(true);
    session.Press(button.toLatin1().constData());

    const bool forSource = button == QLatin1String("browseSourceButton");
    QCOMPARE(session.picker.calls, 1);
    QCOMPARE(session.picker.askedTitle, QStringLiteral("Browse"));
    QCOMPARE(session.picker.askedFilters,
             QStringList({QStringLiteral("*.txt *.csv"), QStringLiteral("All Files (*)")}));
    QCOMPARE(session.picker.askedDirectory,
             forSource ? QDir(dir.path()).absolutePath() : QDir::homePath());
    QCOMPARE(session.Edit("sourceEdit")->text(), forSource && !chosen.isEmpty() ? chosen : source);
    QCOMPARE(session.Edit("destEdit")->text(), !forSource && !chosen.isEmpty() ? chosen : dest);
    QCOMPARE(session.Edit("stepEdit")->text(), QStringLiteral("250"));
    QCOMPARE(session.Edit("periodEdit")->text(), QStringLiteral("0.5"));
    QVERIFY(session.Find<QCheckBox>("reorderBox")->isChecked());
  }

  void closingFreesPoiList_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Exit") << "Exit" << int(QDialog::Accepted);
    QTest::newRow("Esc") << "Esc" << int(QDialog::Rejected);
    QTest::newRow("close box") << "close box" << int(QDialog::Rejected);
  }

  void closingFreesPoiList() {
    QFETCH(QString, how);
    QFETCH(int, result);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("points.csv"));
    WriteFile(source, kThreePoints);
    Session session;
    session.Type("sourceEdit", source);
    session.Type("destEdit", dir.filePath(QStringLiteral("track.nmea")));
    session.Press("createButton");
    QVERIFY(session.window.Engine().PoiPoints().has_value());
    // Enter in an edit is not Exit.
    session.Edit("sourceEdit")->setFocus();
    QTest::keyClick(session.Edit("sourceEdit"), Qt::Key_Return);
    QVERIFY(session.window.isVisible());
    QVERIFY(session.window.Engine().PoiPoints().has_value());

    if (how == QLatin1String("Exit")) session.Press("exitButton");
    if (how == QLatin1String("Esc")) QTest::keyClick(session.Edit("destEdit"), Qt::Key_Escape);
    if (how == QLatin1String("close box")) session.window.close();
    QVERIFY(!session.window.isVisible());
    QCOMPARE(session.window.result(), result);
    QVERIFY(!session.window.Engine().PoiPoints().has_value());
  }

  void sameBytesAsCommandLine_data() {
    QTest::addColumn<QString>("sample");
    QTest::addColumn<bool>("reorder");
    QTest::addColumn<bool>("extra");
    // The bundled sample runs along a road, so its closest order is its file order; the points of
    // the second file are scattered, so every order differs there.
    const QString road = QStringLiteral(WAYLOOM_EXAMPLES "/a9-edinburgh-inverness.csv");
    const QString scattered = QStringLiteral(WAYLOOM_TEST_DATA "/mixed.txt");
    for (const QString& sample : {road, scattered}) {
      const QByteArray name = QFileInfo(sample).fileName().toLatin1();
      QTest::newRow(name + ", file order") << sample << false << false;
      QTest::newRow(name + ", closest order") << sample << true << false;
      QTest::newRow(name + ", extra points") << sample << false << true;
      QTest::newRow(name + ", closest order, extra points") << sample << true << true;
    }
  }

  // Also run with LC_ALL=de_DE.UTF-8, where the C library itself would write decimal commas.
  void sameBytesAsCommandLine() {
    QFETCH(QString, sample);
    QFETCH(bool, reorder);
    QFETCH(bool, extra);
    if (qEnvironmentVariable("LC_ALL").startsWith(QLatin1String("de_DE"))) {
      QVERIFY2(QByteArray(std::localeconv()->decimal_point) == ",",
               "the de_DE.UTF-8 locale is not installed (locale-gen), so this run proves nothing");
    }
    QTemporaryDir dir;
    QStringList options{QStringLiteral("--period"), QStringLiteral("0.25"),
                        QStringLiteral("--step"), QStringLiteral("750")};
    if (reorder) options << QStringLiteral("--reorder");
    if (extra) options << QStringLiteral("--extra");
    const QByteArray expected =
        CommandLineTrack(sample, dir.filePath(QStringLiteral("cli.nmea")), options);
    QVERIFY(expected.count('\n') >= 16);

    Session session;
    session.Type("sourceEdit", sample);
    session.Type("destEdit", dir.filePath(QStringLiteral("window.nmea")));
    session.Type("periodEdit", QStringLiteral("0.25"));
    session.Type("stepEdit", QStringLiteral("750"));
    session.Find<QCheckBox>("reorderBox")->setChecked(reorder);
    session.Find<QCheckBox>("extraPointsBox")->setChecked(extra);
    session.Press("createButton");
    QVERIFY(session.prompter.messages.empty());
    QCOMPARE(ReadFile(dir.filePath(QStringLiteral("window.nmea"))), expected);
  }

  // Cancel in the progress window ends the track after a whole sentence pair, and says so.
  void cancelKeepsCompleteLines() {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("points.csv"));
    const QString dest = dir.filePath(QStringLiteral("window.nmea"));
    WriteFile(source, ManyPoints(20000));
    const QByteArray whole = CommandLineTrack(source, dir.filePath(QStringLiteral("cli.nmea")), {});
    Session session;
    session.window.SetProgressDelay(0);
    session.Type("sourceEdit", source);
    session.Type("destEdit", dest);
    bool cancelled = false;
    QTimer::singleShot(0, &session.window, [&] {
      if (auto* progress = session.window.findChild<QProgressDialog*>()) {
        cancelled = progress->isVisible();
        progress->cancel();
      }
    });
    session.Press("createButton");

    QVERIFY(cancelled);
    const wayloom::TrackSummary& track = session.window.Engine().LastTrack();
    QCOMPARE(track.outcome, wayloom::TrackOutcome::kStopped);
    QVERIFY(track.pointsWritten > 0 && track.pointsWritten < 20000);
    const QByteArray written = ReadFile(dest);
    QCOMPARE(written.count('\n'), qsizetype(2 * track.pointsWritten));
    QVERIFY(written.endsWith("\r\n"));
    QVERIFY(whole.startsWith(written));
    QCOMPARE(session.prompter.messages.size(), size_t(1));
    QVERIFY(session.prompter.messages[0].rfind("The track was stopped", 0) == 0);
    QCOMPARE(session.Model("sourceTable")->rowCount(), 20001);
    QCOMPARE(session.Model("nmeaTable")->rowCount(), int(2 * track.pointsWritten));
  }

  void aboutBox_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
  }

  // Help > About opens the box; it ends with Enter or Esc and leaves the window as it was.
  void aboutBox() {
    QFETCH(int, key);
    Session session;
    session.Type("periodEdit", QStringLiteral("2"));
    auto* about = session.window.findChild<QAction*>(QStringLiteral("aboutAction"));
    QVERIFY(about);
    QCOMPARE(about->text(), QStringLiteral("&About Wayloom..."));
    QVERIFY(session.window.actions().contains(about));  // also on the window's context menu

    QString title;
    QString version;
    bool closed = false;
    QTimer::singleShot(0, &session.window, [&] {
      auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
      if (!box) return;
      title = box->windowTitle();
      version = box->findChild<QLabel*>(QStringLiteral("versionLabel"))->text();
      QTest::keyClick(box, Qt::Key(key));
      closed = !box->isVisible();
    });
    about->trigger();

    QVERIFY(closed);
    QCOMPARE(title, QStringLiteral("About Wayloom"));
    QCOMPARE(version, QStringLiteral("Wayloom Version 1.0"));
    QVERIFY(session.window.isVisible());
    QCOMPARE(session.Edit("periodEdit")->text(), QStringLiteral("2"));
  }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
