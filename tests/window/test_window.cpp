// The Wayloom window, driven the way a person drives it: typing in the edits, pressing its buttons
// and keys; its map, live output, remembered settings and tab order. Message boxes and the file
// dialog are replaced by scripted ones, so nothing waits for a click.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <clocale>
#include <csignal>

#include "dialog/about_dlg.h"
#include "dialog/map_menu.h"
#include "dialog/route_editor.h"
#include "dialog/track_dlg.h"
#include "dialog/track_map.h"
#include "tests/test_support.h"

namespace {

class ScriptedPicker : public FilePicker {
 public:
  QString PickFile(QWidget*, const QString& title, const QString& folder,
                   const QStringList& filters) override {
    asked << title << folder << filters;
    return answer;
  }
  QString PickFileNamed(QWidget* parent, const QString& title, const QString& folder,
                        const QStringList& filters, const QString& name) override {
    proposed = name;
    return PickFile(parent, title, folder, filters);
  }
  QString answer, proposed;  // answer empty: the person cancelled
  QStringList asked;
};

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// What wayloom-cli writes to its standard output for these arguments, and its first message.
QByteArray Cli(const QStringList& arguments, QString* message = nullptr) {
  QProcess cli;
  cli.start(QStringLiteral(WAYLOOM_CLI), arguments);
  cli.waitForFinished(-1);
  if (message) *message = QString::fromUtf8(cli.readAllStandardError()).section('\n', 0, 0);
  return cli.readAllStandardOutput();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

const QByteArray kThreePoints =
    "Longitude,Latitude,Name\r\n24.9384,60.1699,Helsinki harbour,ferry\r\n"
    "-3.70379,40.41678,Plaza Mayor\r\n151.2153,-33.8568,Opera House\r\n";
// Four points a few kilometres apart whose closest order (1, 3, 4, 2) is not their file order.
const QByteArray kFourPoints =
    "-3.1883,55.9533,Princes Street\n-3.2620,55.9440,Haymarket\n"
    "-3.1950,55.9480,Castle\n-3.2100,55.9450,Grassmarket\n";
// Receiver mode's edits, the options of the same meaning, and values for both.
const char kReceiverSettings[] =
    "speedEdit --speed 40km/h dwellEdit --dwell 2 startEdit --start 23:59:58 sentencesEdit "
    "--sentences gga,RMC,ZDA noiseEdit --noise 3 seedEdit --seed 7 periodEdit --period 0.5 "
    "systemsEdit --systems galileo,gps maskEdit --mask 10 nmeaEdit --nmea 4.1 outagesEdit "
    "--outage 1+2";

// A window with scripted message boxes and file dialog; unless told otherwise its source is a file
// of the given points and its destination a file, both in a fresh folder.
struct Session {
  explicit Session(bool typePaths = true, const QByteArray& points = kThreePoints) {
    window.show();
    if (!typePaths) return;
    WriteFile(source, points);
    Type("sourceEdit", source);
    Type("destEdit", dest);
  }
  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = window.findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  void Tick(const char* box) { Find<QCheckBox>(box)->setChecked(true); }
  QAbstractItemModel* Model(const char* view) { return Find<QTableView>(view)->model(); }
  void Type(const char* edit, const QString& text) {
    Edit(edit)->selectAll();
    QTest::keyClicks(Edit(edit), text);
  }
  void Press(const char* button) { Find<QAbstractButton>(button)->click(); }
  // Ticks (or unticks) the live output of row (as listed: TCP, UDP, pseudo-terminal, serial port,
  // emulator) and gives its place.
  void Output(int row, const QString& place, bool ticked = true) {
    auto* outputs = Find<QListWidget>("liveOutputs");
    outputs->setCurrentRow(row);
    Edit("liveAddress")->setText(place);
    outputs->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
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

// Whether text shows whole in a column of width pixels of view (the item's margins taken off).
bool TextFits(const QTableView& view, const QString& text, int width) {
  const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
  return view.fontMetrics().horizontalAdvance(text) + 2 * margin <= width;
}

// The controls a person sees and uses, each once (not the parts of a control).
QList<QWidget*> Controls(QWidget& window) {
  QList<QWidget*> controls;
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    const bool control = qobject_cast<QLabel*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                         qobject_cast<QAbstractButton*>(widget) ||
                         qobject_cast<QComboBox*>(widget) || qobject_cast<QDateEdit*>(widget) ||
                         qobject_cast<QTableView*>(widget) || qobject_cast<CTrackMap*>(widget) ||
                         qobject_cast<QTabBar*>(widget);
    if (!control || !widget->isVisibleTo(&window)) continue;
    bool part = false;
    for (QWidget* up = widget->parentWidget(); up && up != &window; up = up->parentWidget()) {
      part = part || qobject_cast<QAbstractSpinBox*>(up) || qobject_cast<QComboBox*>(up) ||
             qobject_cast<QAbstractItemView*>(up) || qobject_cast<QTabBar*>(up);
    }
    if (!part) controls << widget;
  }
  return controls;
}

// What is wrong with the window's layout as it stands: a control outside the window, smaller than
// it needs, or overlapping another. Empty when nothing is.
QString LayoutProblem(QWidget& window) {
  QString problem;
  const QList<QWidget*> controls = Controls(window);
  // Where a control shows: its rectangle as far as the widgets around it (a scrolled page) let it.
  const auto place = [&window](QWidget* widget) {
    QRect shown(widget->mapTo(&window, QPoint(0, 0)), widget->size());
    for (QWidget* up = widget->parentWidget(); up && up != &window; up = up->parentWidget()) {
      shown &= QRect(up->mapTo(&window, QPoint(0, 0)), up->size());
    }
    return shown;
  };
  for (QWidget* widget : controls) {
    const QString name = widget->objectName() + ' ' + widget->metaObject()->className();
    const QSize least = widget->minimumSizeHint();
    const bool ignoresWidth = widget->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored;
    const QRect shown = place(widget);
    if (!shown.isEmpty() && !window.rect().contains(shown)) problem += name + " outside; ";
    if (widget->height() < least.height() || (!ignoresWidth && widget->width() < least.width())) {
      problem += name + " too small; ";
    }
    for (QWidget* other : controls) {
      if (other != widget && place(widget).intersects(place(other)) && widget < other) {
        problem += name + " overlaps " + other->objectName() + ' ' +
                   other->metaObject()->className() + "; ";
      }
    }
  }
  return problem;
}

// Mnemonics: every control that takes the focus has one (its own, or its label's), and a letter
// that two controls visible and enabled at once share belongs to labels only.
QString MnemonicProblem(QWidget& window) {
  QString problem;
  QMap<int, QList<QWidget*>> byLetter;
  const QList<QWidget*> controls = Controls(window);
  for (QWidget* widget : controls) {
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget))
      text = label->buddy() ? label->text() : QString();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
    if (auto* bar = qobject_cast<QTabBar*>(widget)) {
      for (int tab = 0; tab < bar->count(); ++tab) {
        const QKeySequence key = QKeySequence::mnemonic(bar->tabText(tab));
        if (key.isEmpty()) problem += "tab " + bar->tabText(tab) + " has none; ";
        if (!key.isEmpty()) byLetter[key[0].toCombined()] << bar;
      }
    }
    const QKeySequence key = QKeySequence::mnemonic(text);
    if (!key.isEmpty() && widget->isEnabled()) byLetter[key[0].toCombined()] << widget;
    const bool takesFocus = widget->focusPolicy() != Qt::NoFocus &&
                            !qobject_cast<QTabBar*>(widget) && !qobject_cast<QLabel*>(widget);
    bool reached = !key.isEmpty();
    for (QWidget* other : controls) {
      auto* label = qobject_cast<QLabel*>(other);
      reached = reached || (label && label->buddy() == widget &&
                            !QKeySequence::mnemonic(label->text()).isEmpty());
    }
    if (takesFocus && !reached) problem += widget->objectName() + " has none; ";
  }
  for (auto letter = byLetter.cbegin(); letter != byLetter.cend(); ++letter) {
    if (letter.value().size() < 2) continue;
    for (QWidget* widget : letter.value()) {
      if (!qobject_cast<QLabel*>(widget)) {
        problem +=
            QKeySequence(letter.key()).toString() + " shared by " + widget->objectName() + "; ";
      }
    }
  }
  return problem;
}

bool LiveMarkerShown(CTrackMap& map) {
  const QImage image = map.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
  return std::count(pixels, pixels + image.width() * image.height(), CTrackMap::kLiveRgb) > 0;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Never a tile server, even when run by hand rather than by ctest.
  void initTestCase() { qputenv("WAYLOOM_TILES", "off"); }

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
    session.Tick("reorderBox");
    session.Tick("extraPointsBox");
    session.Press("createButton");
    QVERIFY(session.prompter.messages.empty());
    QCOMPARE(ReadFile(session.dest), ReadFile(WAYLOOM_TEST_DATA "/mixed.closest-extra.nmea"));

    // The tables as the engine holds them, but for the source table's blank last row; every
    // sentence whole in its column.
    const wayloom::TrackEngine& engine = session.window.Engine();
    for (const auto& [view, table] :
         {std::pair<const char*, const wayloom::TableRows*>{"sourceTable", &engine.SourceTable()},
          {"nmeaTable", &engine.NmeaTable()}}) {
      QAbstractItemModel* model = session.Model(view);
      QTableView* shown = session.Find<QTableView>(view);
      const bool sentences = table == &engine.NmeaTable();
      QCOMPARE(std::size_t(model->columnCount()), table->ColumnCount());
      QCOMPARE(std::size_t(model->rowCount()), table->RowCount() - (sentences ? 0 : 1));
      QVERIFY(sentences || table->Cell(table->RowCount() - 1, 0).empty());
      for (int column = 0; column < model->columnCount(); ++column) {
        const auto c = std::size_t(column);
        QCOMPARE(model->headerData(column, Qt::Horizontal).toString().toStdString(),
                 table->Column(c).title);
        const int width = shown->horizontalHeader()->sectionSize(column);
        if (!sentences) QCOMPARE(width, CTrackDlg::ColumnWidth(table->Column(c).title));
        for (int row = 0; row < model->rowCount(); ++row) {
          const QString text = model->index(row, column).data().toString();
          QCOMPARE(text.toStdString(), std::string(table->Cell(std::size_t(row), c)));
          if (sentences) QVERIFY2(TextFits(*shown, text, width), qPrintable(text));
        }
      }
    }
    QVERIFY(session.window.grab().save(WAYLOOM_TEST_OUTPUT_DIR "/window-after-track.png"));
  }

  // The sentence column is as wide as the longest sentence, in a larger font too: every checksum
  // shows.
  void sentenceColumnFitsWholeSentences() {
    Session session(true, kFourPoints);
    QFont font = session.window.font();
    font.setPointSize(15);
    session.window.setFont(font);
    session.Tick("receiverBox");
    session.Edit("sentencesEdit")->setText(QStringLiteral("GSV,GGA,RMC"));
    session.Press("createButton");
    auto* view = session.Find<QTableView>("nmeaTable");
    QVERIFY(view->model()->rowCount() > 0);
    for (int row = 0; row < view->model()->rowCount(); ++row) {
      const QString text = view->model()->index(row, 0).data().toString();
      QVERIFY2(TextFits(*view, text, view->horizontalHeader()->sectionSize(0)), qPrintable(text));
    }
  }

  // After any press of Create NMEA Track the window shows what the file holds: a source that
  // cannot be read stops after its message, before the question; No, or a destination that
  // cannot be opened, leave the file, the tables and the map of the track shown before; Yes, or a
  // write that fails, show the lines in the file. Messages about files carry the system's reason
  // and what to do.
  void pressShowsWhatTheFileHolds() {
    const struct {
      const char* press;
      bool answer;
      const char* message;  // its start and end, with the path between them, "" for none
      bool written;
    } cases[] = {
        // clang-format off
        {"yes", true, "", true},
        {"no", false, "", false},
        {"missing source", true, "Error can't open the input file\n|\nno such file or folder\n"
         "Check the path in 'Source file', or choose the file with its Browse.", false},
        {"folder", true, "Error can't open output file \n|\nis a folder\nChoose another "
         "'Destination file', in a folder you may write to.", false},
        {"cut short", true, "Error writing output file \n|\nfile too large\nThe file holds", true},
        {"lone point", true, "No track: 1 points read from |\nA track needs two points or more: "
         "lines of longitude,latitude,description in 'Source file'.", true},
        // clang-format on
    };
    for (const auto& c : cases) {
      Session session;
      session.Press("createButton");  // three points shown, from track.nmea
      const QString four = session.dir.filePath(QStringLiteral("four.csv"));
      QString dest = session.dir.filePath(QStringLiteral("kept.nmea"));
      WriteFile(four,
                c.press[0] == 'l' ? kFourPoints.left(kFourPoints.indexOf('\n') + 1) : kFourPoints);
      WriteFile(dest, "keep me\n");
      const QString source =
          c.press[0] == 'm' ? session.dir.filePath(QStringLiteral("none.csv")) : four;
      session.Type("sourceEdit", source);
      if (c.press[0] == 'f') dest = session.dir.path();
      session.Type("destEdit", dest);
      session.prompter.answers = {c.answer};
      const bool limited = c.press[0] == 'c';
      const rlimit cap{300, RLIM_INFINITY};
      rlimit saved{};
      if (limited) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        setrlimit(RLIMIT_FSIZE, &cap);
      }
      session.Press("createButton");
      if (limited) setrlimit(RLIMIT_FSIZE, &saved);

      QCOMPARE(session.prompter.questions.size(), std::size_t(c.press[0] != 'm'));
      const QString message =
          QString(c.message).replace('|', c.press[0] == 'm' || c.press[0] == 'l' ? source : dest);
      QCOMPARE(session.prompter.messages.size(), std::size_t(*c.message != 0));
      if (*c.message) {
        QVERIFY2(QString::fromStdString(session.prompter.messages[0]).startsWith(message),
                 session.prompter.messages[0].c_str());
      }
      QStringList rows;
      for (int row = 0; row < session.Model("nmeaTable")->rowCount(); ++row) {
        rows << session.Model("nmeaTable")->index(row, 0).data().toString() + "\r\n";
      }
      const QByteArray held = QFileInfo(dest).isFile() ? ReadFile(dest) : QByteArray();
      QCOMPARE(rows.join("").toLatin1(), c.written ? held : ReadFile(session.dest));
      QVERIFY(c.written || held == "keep me\n" || c.press[0] == 'f');
      QCOMPARE(session.Model("sourceTable")->rowCount(), !c.written          ? 3
                                                         : c.press[0] == 'l' ? 1
                                                                             : 4);
      QCOMPARE(session.window.Map().Track()->FixCount(), std::size_t(rows.size() / 2));
      QVERIFY2(!limited || (rows.size() > 0 && rows.size() < 8), qPrintable(rows.join("")));
    }
  }

  // Step and period take what the command line takes, and a decimal comma where the window's
  // language writes one; anything else is refused with its field named and what it takes, and
  // nothing is written.
  void editsCheckedInTheWindowsLanguage() {
    const char* const kNeeds =
        " needs a decimal number such as 2, 0.5%1 or -1 (0 or from 1e-9 to "
        "1e9 in size), not '%2'";
    const struct {
      QLocale::Language language;
      const char* edit;
      const char* text;
      const char* option;  // the command line's option and value of the same track; null: refused
      const char* value;
    } cases[] = {
        {QLocale::German, "periodEdit", "0,5", "--period", "0.5"},
        {QLocale::German, "stepEdit", "2,5", "--step", "2.5"},
        {QLocale::German, "stepEdit", "-2.5", "--step", "-2.5"},
        {QLocale::English, "periodEdit", "0,5", nullptr, nullptr},
        {QLocale::English, "stepEdit", "abc", nullptr, nullptr},
        {QLocale::German, "periodEdit", "1O0", nullptr, nullptr},
    };
    for (const auto& c : cases) {
      Session session(true, kFourPoints);
      session.window.setLocale(QLocale(c.language));
      session.Tick("extraPointsBox");
      session.Type(c.edit, QString::fromUtf8(c.text));
      session.Press("createButton");
      if (c.option) {
        QCOMPARE(ReadFile(session.dest),
                 Cli({"--extra", c.option, c.value, session.source, QStringLiteral("-")}));
        continue;
      }
      const QString field = c.edit[0] == 's'
                                ? QStringLiteral("'Extra points step distance in meters'")
                                : QStringLiteral("'Time period in seconds'");
      const QString comma = c.language == QLocale::German ? QStringLiteral(" (or 0,5)") : QString();
      QCOMPARE(session.prompter.messages,
               std::vector<std::string>{
                   (field + QString::fromLatin1(kNeeds).arg(comma, c.text)).toStdString()});
      QVERIFY(!QFileInfo::exists(session.dest));
    }
  }

  // Browse takes in everything typed before it shows a path, and shows nothing when cancelled. It
  // starts in the folder of the path in its edit, or at home when that folder does not exist.
  void browse() {
    for (const QString button : {"browseSourceButton", "browseDestButton"}) {
      for (const QString chosen : {"", "/srv/poi/chosen.csv"}) {
        Session session;
        const QString dest = session.dir.filePath(QStringLiteral("missing/track.txt"));
        session.picker.answer = chosen;
        session.Type("destEdit", dest);
        session.Type("stepEdit", QStringLiteral("250"));
        session.Type("periodEdit", QStringLiteral("0.5"));
        session.Tick("reorderBox");
        session.Press(button.toLatin1().constData());
        const bool source = button == QLatin1String("browseSourceButton");
        const QString folder = source ? QDir(session.dir.path()).absolutePath() : QDir::homePath();
        const QStringList kinds = {"Route files (*.txt *.csv *.gpx *.kml *.geojson *.json)",
                                   "POI files (*.txt *.csv)",
                                   "GPX (*.gpx)",
                                   "KML (*.kml)",
                                   "GeoJSON (*.geojson *.json)",
                                   "CSV (*.csv)"};
        QCOMPARE(session.picker.asked, QStringList({"Browse", folder}) +
                                           (source ? kinds : QStringList{"*.txt *.csv"}) +
                                           QStringList{"All Files (*)"});
        QCOMPARE(session.Settings(), (source && !chosen.isEmpty() ? chosen : session.source) + '|' +
                                         (!source && !chosen.isEmpty() ? chosen : dest) +
                                         "|250|0.5|1 0");
      }
    }
  }

  // Exit accepts the window and the close box rejects it, each freeing the POI list; Esc closes
  // neither the window nor anything else. While live output runs, both ask first, and No keeps the
  // window and the output.
  void closing() {
    const struct {
      const char* how;
      bool live;
      bool answer;
      bool closed;
    } cases[] = {
        {"Exit", false, false, true},      {"close box", false, false, true},
        {"Esc", false, false, false},      {"Exit", true, true, true},
        {"close box", true, true, true},   {"Exit", true, false, false},
        {"close box", true, false, false}, {"Esc", true, true, false},
    };
    for (const auto& row : cases) {
      const QString name =
          QStringLiteral("%1, live %2, answer %3").arg(row.how).arg(row.live).arg(row.answer);
      Session session;
      session.Press("createButton");
      if (row.live) {
        session.Edit("liveAddress")->setText(QStringLiteral("127.0.0.1:0"));
        session.Tick("loopBox");
        session.Press("liveStart");
      }
      session.prompter.answers = {row.answer};
      if (row.how[1] == 'x') session.Press("exitButton");
      if (row.how[1] == 's') QTest::keyClick(session.Edit("destEdit"), Qt::Key_Escape);
      if (row.how[0] == 'c') session.window.close();
      QVERIFY2(session.window.isVisible() != row.closed, qPrintable(name));
      QCOMPARE(session.prompter.questions.size(), std::size_t(row.live && row.how[1] != 's'));
      QCOMPARE(session.window.Engine().PoiPoints() != nullptr, !row.closed);
      QCOMPARE(session.Find<QPushButton>("liveStop")->isEnabled(), row.live && !row.closed);
      if (row.closed) {
        QCOMPARE(session.window.result(),
                 row.how[1] == 'x' ? QDialog::Accepted : QDialog::Rejected);
      }
    }
  }

  // Return presses Create NMEA Track from an edit, a box or a table, and a button that has the
  // focus from that button.
  void returnPressesTheDefaultButton() {
    for (const char* focus : {"stepEdit", "reorderBox", "sourceTable", "browseSourceButton"}) {
      Session session;
      session.picker.answer.clear();
      QWidget* widget = session.Find(focus);
      widget->setFocus();
      QTest::keyClick(widget, Qt::Key_Return);
      const bool browse = QByteArray(focus) == "browseSourceButton";
      QVERIFY2(QFileInfo::exists(session.dest) != browse, focus);
      QCOMPARE(session.picker.asked.isEmpty(), !browse);
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
    QCOMPARE(session.prompter.messages.size(), size_t(1));
    QVERIFY(session.prompter.messages[0].rfind("The track was stopped", 0) == 0);
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
  // Every point is drawn where its projection puts it, numbered in visiting order; the selected
  // source row's point is highlighted, and Fit brings every point back into view.
  void mapShowsTrack() {
    Session session(true, kFourPoints);
    session.Tick("reorderBox");
    session.Press("createButton");
    CTrackMap& map = session.window.Map();
    QVERIFY(map.Track());
    QCOMPARE(map.Track()->FixCount(), std::size_t(4));
    const auto at = [&map](std::size_t i) { return map.ScreenPos(map.Track()->PointAt(i)); };
    const std::uint32_t visits[] = {1, 4, 2, 3};
    for (std::size_t i = 0; i < 4; ++i) QCOMPARE(map.Track()->Points()[i].visit, visits[i]);
    // West is left, north is up: Haymarket lies west of Princes Street, the Castle north of it.
    QVERIFY(at(1).x() < at(0).x() && at(2).y() < at(3).y());
    QCOMPARE(session.Find<QLabel>("mapStatus")->text(),
             QStringLiteral("Track: 4.95 km, 0:00:03, 4 fixes"));
    session.Find<QTableView>("sourceTable")->selectRow(2);
    map.FinishDrawing();
    const QImage image = map.grab().toImage();
    for (std::size_t i = 0; i < 4; ++i) {
      QCOMPARE(image.pixel(at(i).toPoint()),
               i == 2 ? CTrackMap::kSelectedRgb : CTrackMap::kPointRgb);
    }
    auto* sentences = session.Find<QTableView>("nmeaTable");
    sentences->selectRow(sentences->model()->rowCount() - 1);  // the last fix's
    QVERIFY(map.SentenceFix() && map.SentenceFix()->y == map.Track()->Fix(3).y);
    map.ZoomAt(QPointF(5, 5), 40.0);
    map.PanBy(QPointF(300, -200));
    session.Press("fitButton");
    const QRectF inner = QRectF(map.rect())
                             .adjusted(CTrackMap::kMargin - 1, CTrackMap::kMargin - 1,
                                       1 - CTrackMap::kMargin, 1 - CTrackMap::kMargin);
    for (std::size_t i = 0; i < 4; ++i) QVERIFY(inner.contains(at(i)));

    // The tiles chosen are remembered with the window's settings: a folder without tiles here,
    // which the map's status line names.
    QTemporaryDir store;
    QSettings settings(store.filePath(QStringLiteral("wayloom.ini")), QSettings::IniFormat);
    session.window.findChild<MapMenu*>()->SetTiles(TileSettings{store.path(), QString(), false});
    session.window.SaveSettings(settings);
    qunsetenv("WAYLOOM_TILES");
    Session second(false);
    second.window.RestoreSettings(settings);
    qputenv("WAYLOOM_TILES", "off");
    QVERIFY(second.window.findChild<QAction*>(QStringLiteral("tilesFolder"))->isChecked());
    QVERIFY(second.Find<QLabel>("mapStatus")->text().startsWith(QStringLiteral("Map tiles: ")));
  }

  // Timed: the speed, the dwell and the default start give way to the recorded times, and the
  // track is the command line's --timed reference.
  void timedAsCommandLine() {
    Session session;
    session.Type("sourceEdit", QStringLiteral(WAYLOOM_TEST_DATA "/timed.csv"));
    session.Tick("receiverBox");
    session.Tick("timedBox");
    QVERIFY(!session.Edit("speedEdit")->isEnabled() && !session.Edit("dwellEdit")->isEnabled());
    session.Press("createButton");
    QCOMPARE(ReadFile(session.dest), ReadFile(WAYLOOM_TEST_DATA "/timed.receiver.nmea"));
  }

  // Receiver mode, dated: every setting reaches the track as its option does, in file and in
  // closest order; the table shows each sentence, the map numbers the fixes as reached, live output
  // sends them. A value the command line refuses is refused with its message by "Create NMEA
  // Track" and by live output's Start alike, and nothing is written or started.
  void receiverModeAsCommandLine() {
    const QStringList settings = QString(kReceiverSettings).split(' ');
    for (const int run : {0, 1, 2, 3, 4, 5, 6}) {
      Session session(true, kFourPoints);
      session.Tick("receiverBox");
      session.Tick("dateBox");
      session.Find<QDateEdit>("dateEdit")->setDate(QDate(2026, 12, 31));
      const bool reorder = run == 1;
      QStringList options{"--date=2026-12-31"};
      if (run < 2) options << (reorder ? "--reorder" : "--quiet");
      for (qsizetype i = 0; run < 2 && i < settings.size(); i += 3) {
        session.Edit(settings[i].toLatin1())->setText(settings[i + 2]);
        options << settings[i + 1] << settings[i + 2];
      }
      session.Find<QCheckBox>("reorderBox")->setChecked(reorder);
      // The timed track file of each kind, beside the track file, as --gpx and --kml write it.
      const QString timed = reorder ? QStringLiteral("kml") : QStringLiteral("gpx");
      const QString windowTimed = session.dir.filePath(QStringLiteral("window.") + timed);
      const QString cliTimed = session.dir.filePath(QStringLiteral("cli.") + timed);
      if (run < 2) {
        session.Edit((timed + QStringLiteral("Edit")).toLatin1())->setText(windowTimed);
        options << QStringLiteral("--") + timed << cliTimed;
      }
      const QStringList refused[] = {{"speedEdit", "0", "--speed", "0"},
                                     {"periodEdit", "1e0", "--period", "1e0"},
                                     {"startEdit", "now", "--start", "now"},
                                     {"extraPointsBox", "", "--extra"},
                                     {"outagesEdit", "60", "--outage", "60"}};
      if (run >= 2) {
        const QStringList& bad = refused[run - 2];
        if (run == 5) session.Tick("extraPointsBox");
        if (run != 5) session.Edit(bad[0].toLatin1())->setText(bad[1]);
        options << (run == 2 ? QStringList() : QStringList{"--speed", "1"}) << bad.mid(2);
      }
      QString message;
      const QByteArray expected = Cli(options << session.source << "-", &message);
      session.Press("createButton");
      if (run >= 2) {
        session.Press("liveStart");
        // The command line's words, each option named as the window names its field.
        QString windowMessage = message.mid(13);
        for (const auto& [option, field] :
             {std::pair{"--speed", "'Receiver mode' with its 'Speed (knots)'"},
              {"--period", "'Time period in seconds'"},
              {"--start", "'Start (UTC)'"},
              {"--extra", "'Create extra points.'"},
              {"--date", "'RMC sentences carry the date'"},
              {"--outage", "'Outages'"}}) {
          windowMessage.replace(QLatin1String(option), QLatin1String(field));
        }
        QCOMPARE(session.prompter.messages,
                 std::vector<std::string>(2, windowMessage.toStdString()));
        QVERIFY(!QFileInfo::exists(session.dest));
        QVERIFY(session.Find<QPushButton>("liveStart")->isEnabled());
        continue;
      }
      QCOMPARE(ReadFile(session.dest), expected);
      QVERIFY(!ReadFile(cliTimed).isEmpty());
      QCOMPARE(ReadFile(windowTimed), ReadFile(cliTimed));
      QCOMPARE(session.Model("nmeaTable")->rowCount(), expected.count('\n'));
      const MapTrack& map = *session.window.Map().Track();
      QCOMPARE(map.FixCount() * 3, std::size_t(expected.count('\n')));
      const std::uint32_t visits[2][4] = {{1, 2, 3, 4}, {1, 4, 2, 3}};
      for (std::size_t i = 0; i < 4; ++i) QCOMPARE(map.Points()[i].visit, visits[reorder][i]);
      QUdpSocket udp;
      QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
      session.Output(0, QStringLiteral("127.0.0.1:0"), false);
      session.Output(1, QStringLiteral("127.0.0.1:%1").arg(udp.localPort()));
      session.Press("liveStart");
      QVERIFY(udp.waitForReadyRead(5000));
      const QByteArray datagram = udp.receiveDatagram().data();
      QVERIFY(datagram.count('\n') == 3 && expected.startsWith(datagram));
      // Paused, Play goes on; the slider seeks over a receiver's track.
      session.Press("livePause");
      QVERIFY(session.Find<QPushButton>("liveStart")->isEnabled());
      QVERIFY(!session.Find<QPushButton>("livePause")->isEnabled());
      QTRY_VERIFY(session.Find<QSlider>("liveSlider")->isEnabled());
      session.Press("liveStop");
    }
  }

  // A recorded NMEA log as the source: Create writes the bytes the command line's replay writes,
  // re-timed; the table lists its sentences, the map its positions; live output sends its first
  // burst first. Extra points are refused with the command line's words; a log without a
  // position says why the map stays empty.
  // A route file of several paths: the window lists them beside the source once it has read it,
  // reads the one chosen next, and forgets them for another file; "CSV with a header" reads a
  // file as --csv does.
  void routeFilePathsAndCsv() {
    Session session(true,
                    "<gpx><wpt lat=\"55.9\" lon=\"-3.1\"/><wpt lat=\"55.8\" lon=\"-3.2\"/>"
                    "<trk><name>T</name><trkseg><trkpt lat=\"56.1\" lon=\"-3.4\"/>"
                    "<trkpt lat=\"56.2\" lon=\"-3.5\"/><trkpt lat=\"56.3\" lon=\"-3.6\"/>"
                    "</trkseg></trk></gpx>\n");
    auto* paths = session.Find<QComboBox>("pathBox");
    session.prompter.answers = {true, true};  // overwrite the track twice
    session.Press("createButton");
    QVERIFY(paths->isVisible());
    QCOMPARE(paths->itemText(0) + '|' + paths->itemText(1), "(no name) (points)|T (track)");
    QCOMPARE(paths->currentIndex(), 1);
    QCOMPARE(ReadFile(session.dest).count("$GPGGA"), 3);
    paths->setCurrentIndex(0);
    session.Press("createButton");
    QCOMPARE(ReadFile(session.dest).count("$GPGGA"), 2);
    QCOMPARE(paths->currentIndex(), 0);
    const QString csv = session.dir.filePath(QStringLiteral("columns.txt"));
    WriteFile(csv, "lon,x,lat\n-3.19,1,55.95\n-3.2,1,55.9\n");
    session.Type("sourceEdit", csv);
    QVERIFY(paths->isHidden());
    session.Find<QComboBox>("sourceKind")->setCurrentIndex(2);
    session.Press("createButton");
    QVERIFY(ReadFile(session.dest).startsWith("$GPGGA,010000.000,5557.0000,N,00311.4000,W"));
  }

  void replayAsCommandLine() {
    const QByteArray log =
        "# recorded\r\n"
        "$GPRMC,120000.00,A,4807.0380,N,01131.0000,E,022.4,084.4,300624,,,A*50\r\n"
        "$GPGSV,1,1,00*79\r\n"
        "$GPRMC,120001.00,A,4807.0390,N,01131.0010,E,022.4,084.4,300624,,,A*51\r\n";
    for (const int run : {0, 1, 2}) {
      Session session(true, run == 2 ? QByteArray("$GPGSV,1,1,00*79\n") : log);
      session.Find<QComboBox>("sourceKind")->setCurrentIndex(1);
      session.Edit("replayStartEdit")->setText(QStringLiteral("23:59:59"));
      session.Tick("dateBox");
      session.Find<QDateEdit>("dateEdit")->setDate(QDate(2030, 12, 31));
      if (run == 1) session.Tick("extraPointsBox");
      QString message;
      const QString extra = run == 1 ? "--extra" : "--quiet";
      const QStringList options{"--replay", session.source, "--start", "23:59:59",
                                "--date",   "2030-12-31",   extra,     "-"};
      const QByteArray expected = Cli(options, &message);
      session.Press("createButton");
      if (run == 1) {
        QCOMPARE(session.prompter.messages.at(0),
                 message.mid(13)
                     .replace("--extra", "'Create extra points.'")
                     .replace("--replay", "'Source kind' set to 'NMEA log'")
                     .toStdString());
        QVERIFY(!QFileInfo::exists(session.dest));
        continue;
      }
      QCOMPARE(ReadFile(session.dest), expected);
      QCOMPARE(session.Model("nmeaTable")->rowCount(), expected.count('\n'));
      QCOMPARE(session.window.Map().Track()->FixCount(), std::size_t(run == 0 ? 2 : 0));
      if (run == 2) {
        QCOMPARE(session.prompter.messages.size(), std::size_t(1));
        QVERIFY(session.prompter.messages[0].find("the map has none") != std::string::npos);
        continue;
      }
      QUdpSocket udp;
      QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
      session.Output(0, QStringLiteral("127.0.0.1:10110"), false);
      session.Output(1, QStringLiteral("127.0.0.1:%1").arg(udp.localPort()));
      session.Press("liveStart");
      QVERIFY(udp.waitForReadyRead(5000));
      QCOMPARE(udp.receiveDatagram().data(), expected.left(expected.indexOf("$GPRMC", 1)));
      session.Press("liveStop");
    }
  }

  // Live output reaches a TCP client, a UDP port, a pseudo-terminal link and a serial line at once,
  // each output with its status line, while the window goes on answering; Stop or closing the
  // window disconnects the client, removes the link and closes the port. A port, rate or output
  // the window cannot use is refused with its message, naming the field, before anything starts.
  void liveOutputEndsCleanly() {
    for (const bool byClosing : {false, true}) {
      if (!QTest::currentTestFailed()) LiveOutputs(byClosing);
    }
    if (!QTest::currentTestFailed()) WaitedForClient();
    Session session(true, kFourPoints);
    const struct {
      int row;
      const char* place;
      const char* message;
    } refused[] = {{0, "127.0.0.1:10110", "Tick an output under 'Send to'"},
                   {3, "/dev/ttyS0:1234", "'Serial port': the baud rate 1234 is not one of"},
                   {3, "/no/such/tty", "serial port /no/such/tty: no such device"}};
    for (const auto& row : refused) {
      session.Output(0, QStringLiteral("127.0.0.1:10110"), false);
      session.Output(row.row, QString::fromLatin1(row.place), row.row != 0);
      session.prompter.messages.clear();
      session.Press("liveStart");
      QCOMPARE(session.prompter.messages.size(), std::size_t(1));
      QVERIFY2(session.prompter.messages[0].find(row.message) != std::string::npos,
               session.prompter.messages[0].c_str());
      QVERIFY(session.Find<QPushButton>("liveStart")->isEnabled());
    }
  }

 private:
  // Reads what fd gives until it holds lines line ends (a guard against a hang only).
  static QByteArray ReadLines(int fd, int lines) {
    QByteArray got;
    char buffer[4096];
    for (int turn = 0; turn < 100 && got.count('\n') < lines; ++turn) {
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, n);
    }
    return got;
  }

  // A feed that waits for a TCP client says so and sends it the whole track, even a short one
  // without Loop; the wait is offered only while TCP is ticked; the counts stand at the end.
  void WaitedForClient() {
    Session session(true, kFourPoints);
    session.Output(0, QStringLiteral("127.0.0.1:0"), false);
    QVERIFY(!session.Edit("waitClientsEdit")->isEnabled());
    session.Output(0, QStringLiteral("127.0.0.1:0"));
    QVERIFY(session.Edit("waitClientsEdit")->isEnabled());
    session.Edit("waitClientsEdit")->setText(QStringLiteral("1"));
    session.Edit("speedupEdit")->setText(QStringLiteral("50"));
    session.Press("liveStart");
    QVERIFY(session.prompter.messages.empty());
    auto* status = session.Find<QLabel>("liveStatus");
    QTRY_VERIFY2(status->text().contains(QStringLiteral(": waiting for 1 client, 0 connected.")),
                 qPrintable(status->text()));
    const QString tcp = status->text().split(QLatin1Char('\n')).value(1);
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"),
                         tcp.section(QLatin1Char(':'), 1, 1).toUShort());
    QVERIFY(client.waitForConnected(5000));
    QByteArray received;
    while (client.waitForReadyRead(5000)) received += client.readAll();
    QCOMPARE(received, Cli({session.source, QStringLiteral("-")}));
    QTRY_VERIFY(status->text().startsWith(QStringLiteral("Ended: 8 sentences sent, last point: ")));
    QVERIFY2(status->text().contains(QStringLiteral(": 1 client served.")),
             qPrintable(status->text()));
  }

  void LiveOutputs(bool byClosing) {
    Session session(true, kFourPoints);
    const QString link = session.dir.filePath(QStringLiteral("gps"));
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    const int line = posix_openpt(O_RDWR | O_NOCTTY);  // its device stands for a serial port
    QVERIFY(line >= 0 && grantpt(line) == 0 && unlockpt(line) == 0);
    const QString serial = QString::fromLatin1(ptsname(line));
    session.Output(0, QStringLiteral("127.0.0.1:0"));
    session.Output(1, QStringLiteral("127.0.0.1:%1").arg(udp.localPort()));
    session.Output(2, link);
    session.Output(3, serial);
    session.Edit("speedupEdit")->setText(QStringLiteral("50"));
    session.Tick("loopBox");
    session.Press("liveStart");
    QVERIFY(session.prompter.messages.empty());
    // While it runs, Stop shares its mnemonic with none of the settings it leaves enabled.
    session.Find<QTabWidget>("settingsTabs")->setCurrentIndex(1);
    QCOMPARE(MnemonicProblem(session.window), QString());
    auto* status = session.Find<QLabel>("liveStatus");
    QTRY_VERIFY(status->text().count(QLatin1Char('\n')) >= 4);  // once the first fix has gone
    const QStringList lines = status->text().split(QLatin1Char('\n'));
    QVERIFY2(lines.size() == 6 && lines[0].startsWith(QStringLiteral("Sending: ")) &&
                 lines[1].startsWith(QStringLiteral("TCP 127.0.0.1:")) &&
                 lines[2].startsWith(QStringLiteral("pseudo-terminal ") + link) &&
                 lines[3].startsWith(QStringLiteral("UDP to 127.0.0.1:")) &&
                 lines[4].startsWith(QStringLiteral("serial port ") + serial + " at 4800 baud"),
             qPrintable(status->text()));

    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"),
                         lines[1].section(QLatin1Char(':'), 1, 1).toUShort());
    QVERIFY(client.waitForConnected(5000));
    QVERIFY(QFileInfo(link).isSymLink());
    QFile device(link);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QByteArray received[4];
    while (received[0].count('\n') < 4) {
      QVERIFY(client.waitForReadyRead(5000));
      received[0] += client.readAll();
    }
    while (received[1].count('\n') < 4) {
      QVERIFY(udp.waitForReadyRead(5000));
      received[1] += udp.receiveDatagram().data();
    }
    received[2] = ReadLines(device.handle(), 4);
    received[3] = ReadLines(line, 4);
    for (const QByteArray& got : received) {
      QVERIFY(got.count('\n') >= 4 && (got.startsWith("$GPGGA") || got.contains("\r\n$GPGGA")));
    }
    // The monitor shows the client by its address, the fix, and the sentences the client got.
    const QString address = QStringLiteral("127.0.0.1:%1").arg(client.localPort());
    QTRY_VERIFY(session.Find<QLabel>("monitorClients")->text().contains(address));
    const QStringList got = QString::fromLatin1(received[0]).split(QStringLiteral("\r\n"));
    auto* view = session.Find<QPlainTextEdit>("monitorSentences");
    QTRY_VERIFY(view->toPlainText().contains(got[got.size() - 2]));
    QCOMPARE(view->toPlainText().split('\n').removeDuplicates(), 0);  // each line taken once
    const QString fix = session.Find<QLabel>("monitorFix")->text();
    QVERIFY2(
        QRegularExpression(QStringLiteral("^Fix \\d\\d:\\d\\d:\\d\\d\\.\\d{3} UTC, 55\\.9\\d{4} N "
                                          "3\\.\\d{5} W, \\d+\\.\\d kn, course \\d+\\.\\d, 07 "
                                          "satellites$"))
            .match(fix)
            .hasMatch(),
        qPrintable(fix));
    // The window goes on answering: the status names the point passed and says that the serial
    // line is too slow for the pace, the map marks the fix.
    QTRY_VERIFY(status->text().contains(QStringLiteral(", last point: ")));
    QVERIFY(status->text().contains(QStringLiteral("a fix that finds the line busy is skipped")));
    QTRY_VERIFY(LiveMarkerShown(session.window.Map()));

    if (byClosing) {
      session.prompter.answers = {true};
      session.window.close();
    } else {
      session.Press("liveStop");
      QVERIFY(status->text().startsWith(QStringLiteral("Stopped: ")));
      QVERIFY2(status->text().contains(QStringLiteral(" served")) &&
                   !status->text().contains(QStringLiteral(" 0 sentences")),
               qPrintable(status->text()));
      QVERIFY(session.Find<QPushButton>("liveStart")->isEnabled());
    }
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    close(line);
  }

 private slots:
  // A route drawn on the map: three clicks add three points where they fall, a handle dragged
  // moves its point, a drag elsewhere pans and adds nothing, and undo takes the move back.
  void routeDrawnOnTheMap() {
    Session session(false);
    session.window.findChild<QAction*>("editRouteAction")->trigger();
    CTrackMap& map = session.window.Map();
    RouteEditor& route = session.window.Route();
    const QPoint middle = map.rect().center();  // the whole world spans 256 pixels around it
    const auto at = [&middle](int x, int y) { return middle + QPoint(x, y); };
    for (const QPoint& click : {at(-40, -30), at(40, -20), at(20, 40)})
      QTest::mouseClick(&map, Qt::LeftButton, {}, click);
    const auto placesShown = [&map, &middle] {
      QStringList shown;
      for (const WorldPoint& place : map.EditedRoute()) {
        const QPoint from = map.ScreenPos(place).toPoint() - middle;
        shown << QStringLiteral("%1,%2").arg(from.x()).arg(from.y());
      }
      return shown.join(' ');
    };
    QCOMPARE(route.Points().size(), std::size_t(3));
    QCOMPARE(placesShown(), "-40,-30 40,-20 20,40");
    QTest::mousePress(&map, Qt::LeftButton, {}, at(40, -20));
    QTest::mouseMove(&map, at(70, -60));
    QTest::mouseRelease(&map, Qt::LeftButton, {}, at(70, -60));
    QCOMPARE(placesShown(), "-40,-30 70,-60 20,40");
    QTest::mousePress(&map, Qt::LeftButton, {}, at(-90, 60));
    QTest::mouseMove(&map, at(-80, 80));
    QTest::mouseRelease(&map, Qt::LeftButton, {}, at(-80, 80));
    QCOMPARE(placesShown(), "-30,-10 80,-40 30,60");  // panned by (10, 20), nothing added
    route.History().undo();
    QCOMPARE(placesShown(), "-30,-10 50,0 30,60");
  }

  // A route made in the table from nothing: three points added as the map's clicks add them
  // (a place off the Earth and cells that are no place refused, the route unchanged), a name
  // typed, rows deleted and moved with undo; saved as GPX after the question for what a GPX
  // route leaves out, and run unsaved: the track the command line makes of the file saved.
  void routeEditedSavedAndRun() {
    Session session(false);
    session.Type("destEdit", session.dest);
    session.window.findChild<QAction*>("editRouteAction")->trigger();  // from nothing
    RouteEditor& route = session.window.Route();
    QCOMPARE(session.Model("sourceTable"), &route);
    const auto rows = [&route] {
      QStringList shown;
      for (const auto& point : route.Points()) shown << QString::fromStdString(point.latitude);
      return shown.join(' ');
    };
    route.AddPoint(55.9533, -3.1883);
    QVERIFY(route.setData(route.index(0, RouteEditor::kName), "Princes Street"));
    route.AddPoint(55.944, -3.262);
    QVERIFY(route.setData(route.index(1, RouteEditor::kSpeed), "2"));
    route.AddPoint(55.948, -3.195);
    route.AddPoint(90.5, 0);
    const struct {
      int column;
      const char* text;
    } refused[] = {{RouteEditor::kLatitude, "abc"},
                   {RouteEditor::kLongitude, "-180.5"},
                   {RouteEditor::kDwell, "-1"}};
    for (const auto& cell : refused)
      QVERIFY(!route.setData(route.index(1, cell.column), cell.text));
    QCOMPARE(session.prompter.messages.size(), std::size_t(4));
    QCOMPARE(session.prompter.messages[2],
             "Point 2: 'Longitude' takes decimal degrees from -180 "
             "to 180, not '-180.5'.");
    QCOMPARE(rows(), "55.9533 55.944 55.948");

    auto* table = session.Find<QTableView>("sourceTable");
    QApplication::setActiveWindow(&session.window);
    QVERIFY(QTest::qWaitForWindowActive(&session.window));
    table->setFocus();
    table->selectionModel()->select(route.index(0, 0), QItemSelectionModel::Select);
    table->selectionModel()->select(route.index(1, 0), QItemSelectionModel::Select);
    QTest::keyClick(table, Qt::Key_Delete);
    QCOMPARE(rows(), "55.948");
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    table->setCurrentIndex(route.index(2, 0));
    session.window.findChild<QAction*>("moveUpAction")->trigger();
    QCOMPARE(rows(), "55.9533 55.948 55.944");
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(rows() + ' ' + route.data(route.index(0, RouteEditor::kName)).toString(),
             "55.9533 55.944 55.948 Princes Street");

    const QString gpx = session.dir.filePath(QStringLiteral("walk.gpx"));
    session.picker.answer = gpx;
    session.prompter.answers = {true};
    session.window.findChild<QAction*>("saveRouteAction")->trigger();
    QCOMPARE(session.prompter.questions.at(0),
             "A GPX route cannot hold the points' speeds.\nSave the route without them?");
    QCOMPARE(ReadFile(gpx),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"Wayloom\" "
             "xmlns=\"http://www.topografix.com/GPX/1/1\">\n  <rte>\n    <name>walk</name>\n"
             "    <rtept lat=\"55.9533\" lon=\"-3.1883\">\n      <name>Princes Street</name>\n"
             "    </rtept>\n    <rtept lat=\"55.944\" lon=\"-3.262\" />\n"
             "    <rtept lat=\"55.948\" lon=\"-3.195\" />\n  </rte>\n</gpx>\n");
    session.Press("createButton");
    QCOMPARE(ReadFile(session.dest), Cli({gpx, QStringLiteral("-")}));
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(rows(), "55.9533 55.944");  // the last point added taken back
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(rows() + route.data(route.index(1, RouteEditor::kSpeed)).toString(), "55.9533 55.944");
    // Edited again from the file saved, once the unsaved changes may go: its points.
    auto* edit = session.window.findChild<QAction*>("editRouteAction");
    session.prompter.answers = {true};
    edit->trigger();
    session.Type("sourceEdit", gpx);
    edit->trigger();
    QCOMPARE(session.prompter.questions.size(), std::size_t(2));
    QCOMPARE(rows() + ' ' + route.data(route.index(0, RouteEditor::kName)).toString(),
             "55.9533 55.944 55.948 Princes Street");
  }

  // Tab goes through the controls in reading order: down the left column row by row, the tabs
  // with the settings of each, the tables, then the map.
  void tabOrder() {
    Session session(false);
    const QStringList expected =
        QStringLiteral(
            "sourceEdit browseSourceButton destEdit browseDestButton stepEdit reorderBox "
            "periodEdit extraPointsBox createButton exitButton dateBox dateEdit gpxEdit kmlEdit "
            "liveOutputs liveAddress serialPorts liveToken speedupEdit loopBox waitClientsEdit "
            "silentPauseBox "
            "liveStart liveStop receiverBox timedBox speedEdit dwellEdit startEdit noiseEdit "
            "sentencesEdit "
            "seedEdit systemsEdit maskEdit outagesEdit nmeaEdit almanacEdit sourceTable nmeaTable "
            "fitButton trackMap")
            .split(' ');
    QStringList order;
    QWidget* widget = session.Find("sourceEdit");
    do {
      if (expected.contains(widget->objectName())) order << widget->objectName();
      widget = widget->nextInFocusChain();
    } while (widget != session.Find("sourceEdit"));
    QCOMPARE(order, expected);
  }

  // The map has the most room: more than half the window at the default size; at its smallest
  // the window fits an 800 by 600 screen (with room for a title bar), and no control overlaps
  // another or gets less than it needs, on any tab.
  void layoutGivesTheMapTheRoom() {
    Session session(false);
    CTrackDlg& window = session.window;
    const CTrackMap& map = window.Map();
    const double share = double(map.width()) * map.height() / (window.width() * window.height());
    QVERIFY2(share >= 0.5, qPrintable(QString::number(share)));
    QVERIFY2(window.minimumSizeHint().width() <= 790 && window.minimumSizeHint().height() <= 570,
             qPrintable(QStringLiteral("%1 x %2")
                            .arg(window.minimumSizeHint().width())
                            .arg(window.minimumSizeHint().height())));
    window.resize(window.minimumSizeHint());
    auto* tabs = session.Find<QTabWidget>("settingsTabs");
    for (int tab = 0; tab < tabs->count(); ++tab) {
      tabs->setCurrentIndex(tab);
      QApplication::processEvents();
      const QString problem = LayoutProblem(window);
      QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("tab %1: %2").arg(tab).arg(problem)));
    }
  }

  // Every control has a mnemonic, its own or its label's, and Alt with it reaches the control. Two
  // controls that can take one at the same time share its letter only when both are labels (Alt
  // then moves the focus between their edits in turn): on every tab, with receiver mode on.
  void mnemonics() {
    Session session(false);
    session.Tick("receiverBox");
    session.Tick("dateBox");
    CTrackDlg& window = session.window;
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* tabs = session.Find<QTabWidget>("settingsTabs");
    for (int tab = 0; tab < tabs->count(); ++tab) {
      tabs->setCurrentIndex(tab);
      const QString problem = MnemonicProblem(window);
      QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("tab %1: %2").arg(tab).arg(problem)));
    }
    const struct {
      Qt::Key key;
      const char* control;
    } labels[] = {{Qt::Key_S, "sourceEdit"}, {Qt::Key_D, "destEdit"},    {Qt::Key_M, "stepEdit"},
                  {Qt::Key_P, "periodEdit"}, {Qt::Key_T, "sourceTable"}, {Qt::Key_N, "nmeaTable"},
                  {Qt::Key_A, "trackMap"}};
    tabs->setCurrentIndex(0);
    for (const auto& label : labels) {
      QTest::keyClick(&window, label.key, Qt::AltModifier);
      QCOMPARE(QApplication::focusWidget(), session.Find(label.control));
    }
  }

  // "wayloom FILE": the file is the source, the destination proposed beside it.
  void fileGivenAtStart() {
    const struct {
      QString given;
      QString source;
      QString dest;
    } cases[] = {
        {"/srv/poi/harbours.csv", "/srv/poi/harbours.csv", "/srv/poi/harbours.nmea"},
        {"/srv/poi/a.b.TXT", "/srv/poi/a.b.TXT", "/srv/poi/a.b.nmea"},
        {"/srv/poi/route", "/srv/poi/route", "/srv/poi/route.nmea"},
        {"/srv/poi/track.nmea", "/srv/poi/track.nmea", "/srv/poi/track.nmea.nmea"},
        {"points.csv", QDir::current().filePath("points.csv"),
         QDir::current().filePath("points.nmea")},
    };
    for (const auto& row : cases) {
      Session session(false);
      session.window.OpenSource(row.given);
      QCOMPARE(session.Edit("sourceEdit")->text(), row.source);
      QCOMPARE(session.Edit("destEdit")->text(), row.dest);
      QCOMPARE(session.window.Engine().m_strDestFile, row.dest.toStdString());
    }
  }

  // A first start shows the defaults, no path but a hint in each path's edit; what was typed is
  // there again at the next start (as typed: Create NMEA Track checks it), with the size. A dropped
  // file becomes the source; Browse proposes its name for the destination.
  void settingsDropAndProposedName() {
    QTemporaryDir store;
    QSize saved;
    QSettings settings(store.filePath(QStringLiteral("wayloom.ini")), QSettings::IniFormat);
    {
      Session first(false);
      first.window.RestoreSettings(settings);  // nothing saved yet: the defaults stay
      QCOMPARE(first.window.windowTitle(), QStringLiteral("Wayloom"));
      QCOMPARE(first.Settings(), QStringLiteral("||100|1|0 0"));
      QVERIFY(!first.Edit("sourceEdit")->placeholderText().isEmpty() &&
              !first.Edit("destEdit")->placeholderText().isEmpty());
      QCOMPARE(first.Model("sourceTable")->columnCount() + first.Model("nmeaTable")->rowCount(), 0);
      first.Type("stepEdit", QStringLiteral("2a5-0.5"));
      first.Type("periodEdit", QStringLiteral("-0.5s"));
      first.Edit("liveAddress")->setText(QStringLiteral("[::1]:2947"));
      first.Output(3, QStringLiteral("/dev/ttyUSB1:9600"));
      first.Tick("extraPointsBox");
      first.Tick("receiverBox");
      first.Edit("sentencesEdit")->setText(QStringLiteral("RMC,ZDA"));
      first.Find<QComboBox>("sourceKind")->setCurrentIndex(1);
      first.window.resize(first.window.minimumSizeHint());  // not the size a window starts with
      saved = first.window.size();
      first.window.SaveSettings(settings);
    }
    Session second(false);
    second.window.RestoreSettings(settings);
    QCOMPARE(second.Settings(), QStringLiteral("||2a5-0.5|-0.5s|0 1"));
    QVERIFY(second.Find<QCheckBox>("receiverBox")->isChecked());
    QCOMPARE(second.Find<QComboBox>("sourceKind")->currentIndex(), 1);
    QCOMPARE(second.Edit("liveAddress")->text() + second.Edit("sentencesEdit")->text(),
             QStringLiteral("/dev/ttyUSB1:9600RMC,ZDA"));
    auto* outputs = second.Find<QListWidget>("liveOutputs");
    QVERIFY(outputs->item(0)->checkState() == Qt::Checked &&
            outputs->item(3)->checkState() == Qt::Checked &&
            outputs->item(1)->checkState() == Qt::Unchecked);
    outputs->setCurrentRow(0);
    QCOMPARE(second.Edit("liveAddress")->text(), QStringLiteral("[::1]:2947"));
    QVERIFY(saved != Session(false).window.size());
    QCOMPARE(second.window.size(), saved);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/srv/poi/harbours.csv"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&second.window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&second.window, &drop);
    QCOMPARE(second.Edit("sourceEdit")->text(), QStringLiteral("/srv/poi/harbours.csv"));
    second.Press("browseDestButton");
    QCOMPARE(second.picker.proposed, QStringLiteral("harbours.nmea"));
  }

  // A preset holds every kept setting, each set to a value of its own, and gives all back after
  // all have changed; it is replaced only when the person agrees, survives a rename and the next
  // start, and is gone once deleted.
  void presetsRoundTripEverySetting() {
    QTemporaryDir store;
    QSettings settings(store.filePath(QStringLiteral("wayloom.ini")), QSettings::IniFormat);
    Session first(false);
    first.window.RestoreSettings(settings);
    const QStringList edits =
        QStringLiteral(
            "sourceEdit destEdit gpxEdit kmlEdit stepEdit waitClientsEdit periodEdit speedupEdit "
            "speedEdit dwellEdit startEdit sentencesEdit noiseEdit seedEdit systemsEdit maskEdit "
            "outagesEdit nmeaEdit almanacEdit replayStartEdit liveToken")
            .split(' ');
    const QStringList boxes =
        QStringLiteral(
            "reorderBox extraPointsBox dateBox loopBox receiverBox timedBox silentPauseBox")
            .split(' ');
    const auto fill = [&](int mark) {
      for (const QString& edit : edits)
        first.Edit(qPrintable(edit))->setText(edit + '#' + QString::number(mark));
      for (int i = 0; i < boxes.size(); ++i)
        first.Find<QCheckBox>(qPrintable(boxes[i]))->setChecked((i + mark) % 2);
      first.Find<QDateEdit>("dateEdit")->setDate(QDate(2020 + mark, 2, 3));
      first.Find<QComboBox>("sourceKind")->setCurrentIndex(mark);
      for (int row = 0; row < 5; ++row)
        first.Output(row, QStringLiteral("place%1#%2").arg(row).arg(mark), (row + mark) % 2);
      first.Find<QListWidget>("liveOutputs")->setCurrentRow(mark + 1);
    };
    // Every setting, as "name=value", the live outputs' places read by selecting each in turn.
    const auto state = [&](Session& session) {
      QStringList all;
      for (const QString& edit : edits) all << edit + '=' + session.Edit(qPrintable(edit))->text();
      for (const QString& box : boxes)
        all << box + '=' + QString::number(session.Find<QCheckBox>(qPrintable(box))->isChecked());
      all << "date=" + session.Find<QDateEdit>("dateEdit")->date().toString(Qt::ISODate)
          << "kind=" + QString::number(session.Find<QComboBox>("sourceKind")->currentIndex());
      auto* outputs = session.Find<QListWidget>("liveOutputs");
      const int selected = outputs->currentRow();
      for (int row = 0; row < 5; ++row) {
        outputs->setCurrentRow(row);
        all << QStringLiteral("output%1=%2 %3")
                   .arg(row)
                   .arg(outputs->item(row)->checkState())
                   .arg(session.Edit("liveAddress")->text());
      }
      outputs->setCurrentRow(selected);
      return all << "selected=" + QString::number(selected);
    };
    fill(1);
    const QStringList saved = state(first);
    QVERIFY(first.window.SavePreset(QStringLiteral("gpsd / TCP")));
    fill(2);
    const QStringList changed = state(first);
    for (int i = 0; i < saved.size(); ++i) QVERIFY2(saved[i] != changed[i], qPrintable(saved[i]));
    // Each setting under its key (the outputs' places and ticks under six), and no other.
    QCOMPARE(settings.allKeys().filter(QStringLiteral("presets/")).size(), saved.size() + 1);
    first.prompter.answers = {false};
    QVERIFY(!first.window.SavePreset(QStringLiteral("gpsd / TCP")));  // No keeps the preset
    auto* box = first.Find<QComboBox>("presetBox");
    QCOMPARE(box->count(), 1);
    emit box->activated(0);
    QCOMPARE(state(first), saved);
    QVERIFY(first.window.RenamePreset(QStringLiteral("gpsd / TCP"), QStringLiteral("plotter")));
    Session second(false);
    second.window.RestoreSettings(settings);
    QCOMPARE(second.window.PresetNames(), QStringList{"plotter"});
    QVERIFY(second.window.LoadPreset(QStringLiteral("plotter")));
    QCOMPARE(state(second), saved);
    QVERIFY(second.window.DeletePreset(QStringLiteral("plotter")));
    QVERIFY(second.window.PresetNames().isEmpty() &&
            second.Find<QComboBox>("presetBox")->count() == 0);
  }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
