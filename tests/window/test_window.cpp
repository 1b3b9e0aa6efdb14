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
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <clocale>

#include "dialog/about_dlg.h"
#include "dialog/track_dlg.h"
#include "tests/test_support.h"

namespace {

class ScriptedPicker : public FilePicker {
 public:
  QString PickFile(QWidget*, const QString& title, const QString& folder,
                   const QStringList& filters) override {
    asked << title << folder << filters;
    return answer;
  }
  QString answer;  // empty: the person cancelled
  QStringList asked;
};

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// A window with scripted message boxes and file dialog; unless told otherwise its source is a file
// of three points and its destination a file, both in a fresh folder.
struct Session {
  explicit Session(bool typePaths = true) {
    window.show();
    if (!typePaths) return;
    WriteFile(source,
              "Longitude,Latitude,Name\r\n24.9384,60.1699,Helsinki harbour,ferry\r\n"
              "-3.70379,40.41678,Plaza Mayor\r\n151.2153,-33.8568,Opera House\r\n");
    Type("sourceEdit", source);
    Type("destEdit", dest);
  }
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
  // The four edits and the two boxes, as "source|dest|step|period|reorder extra".
  QString Settings() {
    return QStringList{Edit("sourceEdit")->text(), Edit("destEdit")->text(),
                       Edit("stepEdit")->text(), Edit("periodEdit")->text(),
                       QString::number(Find<QCheckBox>("reorderBox")->isChecked()) + " " +
                           QString::number(Find<QCheckBox>("extraPointsBox")->isChecked())}
        .join('|');
  }

  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("points.csv"));
  const QString dest = dir.filePath(QStringLiteral("track.nmea"));
  wayloom::test::ScriptedPrompter prompter;
  ScriptedPicker picker;
  CTrackDlg window{nullptr, &prompter, &picker};
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void freshStartShowsDefaults() {
    Session session(false);
    QCOMPARE(session.window.windowTitle(), QStringLiteral("Wayloom"));
    QCOMPARE(session.Settings(),
             QStringLiteral("C:\\KORVA\\X\\M25.csv|C:\\KORVA\\X\\M25.txt|100|1|0 0"));
    QCOMPARE(session.Model("sourceTable")->columnCount() + session.Model("nmeaTable")->rowCount(),
             0);
    // The step takes digits only; the period takes any text.
    session.Type("stepEdit", QStringLiteral("2a5-0.5"));
    session.Type("periodEdit", QStringLiteral("-0.5s"));
    QVERIFY(session.Settings().endsWith(QStringLiteral("|2505|-0.5s|0 0")));
  }

  // The reference track, byte for byte, and the engine's tables shown as they are. Also run with
  // LC_ALL=de_DE.UTF-8, where the C library itself would write decimal commas.
  void writesTheReferenceTrackAndShowsTheTables() {
    if (qEnvironmentVariable("LC_ALL").startsWith(QLatin1String("de_DE"))) {
      QVERIFY2(QByteArray(std::localeconv()->decimal_point) == ",",
               "the de_DE.UTF-8 locale is not installed (locale-gen), so this run proves nothing");
    }
    Session session;
    session.Type("sourceEdit", QStringLiteral(WAYLOOM_TEST_DATA "/mixed.txt"));
    session.Type("stepEdit", QStringLiteral("250"));
    session.Type("periodEdit", QStringLiteral("2"));
    session.Find<QCheckBox>("reorderBox")->setChecked(true);
    session.Find<QCheckBox>("extraPointsBox")->setChecked(true);
    session.Press("createButton");
    QVERIFY(session.prompter.messages.empty());
    QCOMPARE(ReadFile(session.dest), ReadFile(WAYLOOM_TEST_DATA "/mixed.closest-extra.nmea"));

    const wayloom::TrackEngine& engine = session.window.Engine();
    for (const auto& [view, table] : {std::pair{"sourceTable", &engine.SourceTable()},
                                      std::pair{"nmeaTable", &engine.NmeaTable()}}) {
      QAbstractItemModel* model = session.Model(view);
      QHeaderView* header = session.Find<QTableView>(view)->horizontalHeader();
      QCOMPARE(std::size_t(model->columnCount()), table->ColumnCount());
      QCOMPARE(std::size_t(model->rowCount()), table->RowCount());
      for (int column = 0; column < model->columnCount(); ++column) {
        const auto c = std::size_t(column);
        QCOMPARE(model->headerData(column, Qt::Horizontal).toString().toStdString(),
                 table->Column(c).title);
        QCOMPARE(header->sectionSize(column), table->Column(c).widthPixels);
        for (int row = 0; row < model->rowCount(); ++row) {
          QCOMPARE(model->index(row, column).data().toString().toStdString(),
                   std::string(table->Cell(std::size_t(row), c)));
        }
      }
    }
    QVERIFY(session.window.grab().save(WAYLOOM_TEST_OUTPUT_DIR "/window-after-track.png"));
  }

  void overwriteQuestion() {
    for (const bool answer : {true, false}) {
      Session session;
      WriteFile(session.dest, "keep me\n");
      session.prompter.answers = {answer};
      session.Press("createButton");
      QCOMPARE(session.prompter.questions,
               std::vector<std::string>{"The output file already exists\noverwrite ?"});
      QVERIFY(session.prompter.messages.empty());
      QCOMPARE(session.Model("sourceTable")->rowCount(), 4);
      QCOMPARE(ReadFile(session.dest).count('\n'), answer ? 6 : 1);
      QCOMPARE(session.Model("nmeaTable")->rowCount(), answer ? 6 : 0);
    }
  }

  void browse_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("chosen");
    for (const char* button : {"browseSourceButton", "browseDestButton"}) {
      QTest::addRow("%s, cancelled", button) << button << QString();
      QTest::addRow("%s, chosen", button) << button << QStringLiteral("/srv/poi/chosen.csv");
    }
  }

  // Browse takes in everything typed before it shows a path, and shows nothing when cancelled. It
  // starts in the folder of the path in its edit, or at home when that folder does not exist.
  void browse() {
    QFETCH(QString, button);
    QFETCH(QString, chosen);
    Session session;
    const QString dest = session.dir.filePath(QStringLiteral("missing/track.txt"));
    session.picker.answer = chosen;
    session.Type("destEdit", dest);
    session.Type("stepEdit", QStringLiteral("250"));
    session.Type("periodEdit", QStringLiteral("0.5"));
    session.Find<QCheckBox>("reorderBox")->setChecked(true);
    session.Press(button.toLatin1().constData());

    const bool forSource = button == QLatin1String("browseSourceButton");
    const QString folder = forSource ? QDir(session.dir.path()).absolutePath() : QDir::homePath();
    QCOMPARE(session.picker.asked, QStringList({"Browse", folder, "*.txt *.csv", "All Files (*)"}));
    QCOMPARE(session.Settings(), (forSource && !chosen.isEmpty() ? chosen : session.source) + '|' +
                                     (!forSource && !chosen.isEmpty() ? chosen : dest) +
                                     "|250|0.5|1 0");
  }

  // Exit accepts the window, Esc and the close box reject it; each frees the POI list. Enter in an
  // edit is not Exit.
  void closingFreesPoiList() {
    for (const char* how : {"Exit", "Esc", "close box"}) {
      Session session;
      session.Press("createButton");
      session.Edit("sourceEdit")->setFocus();
      QTest::keyClick(session.Edit("sourceEdit"), Qt::Key_Return);
      QVERIFY(session.window.isVisible() && session.window.Engine().PoiPoints().has_value());
      if (how[0] == 'E' && how[1] == 'x') session.Press("exitButton");
      if (how[1] == 's') QTest::keyClick(session.Edit("destEdit"), Qt::Key_Escape);
      if (how[0] == 'c') session.window.close();
      QVERIFY(!session.window.isVisible());
      QCOMPARE(session.window.result(), how[1] == 'x' ? QDialog::Accepted : QDialog::Rejected);
      QVERIFY(!session.window.Engine().PoiPoints().has_value());
    }
  }

  // Cancel in the progress window ends the track after a whole sentence pair, and says so.
  void cancelKeepsCompleteLines() {
    Session session;
    QByteArray points;
    for (int i = 1; i <= 20000; ++i) points += "-122." + QByteArray::number(i) + ",37.5,point\n";
    WriteFile(session.source, points);
    session.window.SetProgressDelay(0);
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
    const QByteArray written = ReadFile(session.dest);
    QCOMPARE(written.count("\r\n"), qsizetype(2 * track.pointsWritten));
    QVERIFY(written.endsWith("\r\n"));
    QCOMPARE(session.prompter.messages.size(), size_t(1));
    QVERIFY(session.prompter.messages[0].rfind("The track was stopped", 0) == 0);
    QCOMPARE(session.Model("sourceTable")->rowCount(), 20001);
    QCOMPARE(session.Model("nmeaTable")->rowCount(), int(2 * track.pointsWritten));
  }

  // Help > About opens the box, also from the window's context menu; it ends with Enter or Esc and
  // leaves the window as it was.
  void aboutBox() {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      Session session;
      auto* about = session.window.findChild<QAction*>(QStringLiteral("aboutAction"));
      QVERIFY(about && session.window.actions().contains(about));
      QCOMPARE(about->text(), QStringLiteral("&About Wayloom..."));
      QStringList seen;
      QTimer::singleShot(0, &session.window, [&] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (!box) return;
        seen << box->windowTitle()
             << box->findChild<QLabel*>(QStringLiteral("versionLabel"))->text();
        QTest::keyClick(box, key);
        seen << (box->isVisible() ? "open" : "closed");
      });
      about->trigger();
      QCOMPARE(seen, QStringList({"About Wayloom", "Wayloom Version 1.0", "closed"}));
      QVERIFY(session.window.isVisible());
      QVERIFY(session.Settings().startsWith(session.source));
    }
  }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
