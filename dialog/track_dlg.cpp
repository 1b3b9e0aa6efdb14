#include "dialog/track_dlg.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "dialog/about_dlg.h"
#include "dialog/live_monitor.h"
#include "dialog/live_status.h"
#include "dialog/map_menu.h"
#include "dialog/message_box_prompter.h"
#include "dialog/route_editor.h"
#include "dialog/table_model.h"
#include "dialog/track_map.h"
#include "dialog/track_recorder.h"
#include "dialog/window_words.h"

namespace {

// Where each Browse button starts when that folder exists (else in the folder of the path in its
// edit, else in the home directory).
const QString kSourceBrowseDir = QStringLiteral("C:\\KORVA\\POI");
const QString kDestBrowseDir = QStringLiteral("C:\\temp");

QString PathText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}
std::string PathSetting(const QString& text) { return QFile::encodeName(text).toStdString(); }

}  // namespace

// The engine's messages go to the message boxes (or the prompter a test gave). A message box runs
// the event loop: once a track has started to write, the tables shown are the engine's as they
// stand for as long as the box is open (before, the track shown is that of the file as it stays),
// and the box's time does not count towards the progress window.
class CTrackDlg::WindowPrompter : public wayloom::Prompter {
 public:
  explicit WindowPrompter(CTrackDlg& window) : m_window(window) {}

  void ShowMessage(const std::string& text) override {
    const Interruption interruption(m_window);
    m_window.m_prompter.ShowMessage(WindowMessage(text));
  }

  void ShowFailure(const std::string& text, std::error_code reason) override {
    const Interruption interruption(m_window);
    m_window.m_prompter.ShowMessage(WindowMessage(text, reason));
  }

  bool AskYesNo(const std::string& question) override {
    const Interruption interruption(m_window);
    return m_window.m_prompter.AskYesNo(question);
  }

 private:
  class Interruption {
   public:
    explicit Interruption(CTrackDlg& window);
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

   private:
    CTrackDlg& m_window;
    bool m_during;
  };

  CTrackDlg& m_window;
};

// The option boxes as the engine reads them: from the boxes themselves, at the moment it asks.
class CTrackDlg::BoxStates : public wayloom::OptionStates {
 public:
  explicit BoxStates(CTrackDlg& window) : m_window(window) {}
  bool ReorderTicked() const override {
    return m_window.m_reorderBox->checkState() != Qt::Unchecked;
  }
  bool ExtraPointsTicked() const override {
    return m_window.m_extraPointsBox->checkState() != Qt::Unchecked;
  }

 private:
  CTrackDlg& m_window;
};

// Progress of a long track. The track runs on the window's thread; every report lets the event loop
// run, so the window keeps drawing itself. A track that runs longer than the delay gets a progress
// window with Cancel; it blocks the main window, and Cancel asks the engine to stop after the
// sentence pair it is writing. Until the progress window is up, clicks and keys wait until the
// track is done.
class CTrackDlg::ProgressWindow : public wayloom::ProgressMonitor {
 public:
  explicit ProgressWindow(CTrackDlg& window) : m_window(window) {}

  void SetDelay(int milliseconds) { m_delayMs = std::max(0, milliseconds); }

  void Start() {
    m_dialog.reset();
    m_waitedMs = 0;
    m_clock.start();
  }
  void Pause() {
    if (m_clock.isValid()) m_waitedMs += m_clock.elapsed();
    m_clock.invalidate();
  }
  void Resume() { m_clock.start(); }
  void Finish() {
    m_dialog.reset();
    m_clock.invalidate();
  }

  void Report(const wayloom::TrackProgress& progress) override {
    if (!m_dialog && ElapsedMs() >= m_delayMs) Open();
    if (m_dialog) Show(progress);
    QCoreApplication::processEvents(m_dialog ? QEventLoop::AllEvents
                                             : QEventLoop::ExcludeUserInputEvents);
  }

  bool StopRequested() override { return m_dialog && m_dialog->wasCanceled(); }

 private:
  static constexpr int kSteps = 1000;

  qint64 ElapsedMs() const { return m_waitedMs + (m_clock.isValid() ? m_clock.elapsed() : 0); }

  void Open() {
    m_dialog = std::make_unique<QProgressDialog>(&m_window);
    m_dialog->setWindowTitle(QStringLiteral("Wayloom"));
    m_dialog->setCancelButtonText(QStringLiteral("Cancel"));
    m_dialog->setRange(0, kSteps);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    m_dialog->setMinimumDuration(0);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->show();
  }

  void Show(const wayloom::TrackProgress& progress) {
    const std::uint64_t total = progress.pointsTotal;
    const std::uint64_t done = std::min(progress.pointsDone, total);
    m_dialog->setLabelText(
        QStringLiteral("Writing the track to\n%1\n\n%2 of %3 points, %4 sentences written")
            .arg(PathText(m_window.m_job->Engine().m_strDestFile))
            .arg(done)
            .arg(total)
            .arg(progress.sentencesWritten));
    m_dialog->setValue(total == 0 ? 0 : static_cast<int>(done * kSteps / total));
  }

  CTrackDlg& m_window;
  std::unique_ptr<QProgressDialog> m_dialog;
  QElapsedTimer m_clock;
  qint64 m_waitedMs = 0;
  int m_delayMs = 500;
};

CTrackDlg::WindowPrompter::Interruption::Interruption(CTrackDlg& window)
    : m_window(window), m_during(window.m_bTrackRunning) {
  if (!m_during) return;
  m_window.m_progress->Pause();
  if (!m_window.m_shownOutput) {
    m_window.ShowTables(&m_window.Engine().SourceTable(), &m_window.Engine().NmeaTable());
  }
}

CTrackDlg::WindowPrompter::Interruption::~Interruption() {
  if (!m_during) return;
  if (!m_window.m_shownOutput) m_window.ShowTables(nullptr, nullptr);
  m_window.m_progress->Resume();
}

namespace {

wayloom::Prompter& ChoosePrompter(wayloom::Prompter* given, std::unique_ptr<wayloom::Prompter>& own,
                                  QWidget* window) {
  if (given) return *given;
  own = std::make_unique<MessageBoxPrompter>(window);
  return *own;
}

FilePicker& ChoosePicker(FilePicker* given, std::unique_ptr<FilePicker>& own) {
  if (given) return *given;
  own = std::make_unique<FileDialogPicker>();
  return *own;
}

}  // namespace

CTrackDlg::CTrackDlg(QWidget* parent, wayloom::Prompter* prompter, FilePicker* picker)
    : QDialog(parent),
      m_prompter(ChoosePrompter(prompter, m_ownPrompter, this)),
      m_picker(ChoosePicker(picker, m_ownPicker)),
      m_windowPrompter(std::make_unique<WindowPrompter>(*this)),
      m_boxStates(std::make_unique<BoxStates>(*this)),
      m_progress(std::make_unique<ProgressWindow>(*this)),
      m_job(std::make_unique<wayloom::TrackJob>(*m_windowPrompter, *m_boxStates)) {
  // The main window of the program: shown in the task bar, and resizable.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("Wayloom"));
  setWindowIcon(WayloomIcon());
  BuildControls();
  // A first start shows no path: the edits' hints say what to give.
  Engine().m_strSourceFile.clear();
  Engine().m_strDestFile.clear();
  UpdateData(false);
}

CTrackDlg::~CTrackDlg() {
  // The views go before the engine whose tables their models read.
  m_ctlSourceList->setModel(nullptr);
  m_ctlNmeaList->setModel(nullptr);
}

void CTrackDlg::UpdateData(bool saveAndValidate) {
  wayloom::TrackEngine& engine = Engine();
  if (saveAndValidate) {
    engine.m_strSourceFile = PathSetting(m_sourceEdit->text());
    engine.m_strDestFile = PathSetting(m_destEdit->text());
    engine.m_strStepDistance = m_stepEdit->text().toStdString();
    engine.m_strTimePeriod = m_periodEdit->text().toStdString();
  } else {
    m_sourceEdit->setText(PathText(engine.m_strSourceFile));
    m_destEdit->setText(PathText(engine.m_strDestFile));
    m_stepEdit->setText(TextFromBytes(engine.m_strStepDistance));
    m_periodEdit->setText(TextFromBytes(engine.m_strTimePeriod));
  }
}

void CTrackDlg::SetProgressDelay(int milliseconds) { m_progress->SetDelay(milliseconds); }

void CTrackDlg::OnBrowseSource() { Browse(kSourceBrowseDir, m_job->Engine().m_strSourceFile); }

void CTrackDlg::OnBrowseDest() { Browse(kDestBrowseDir, m_job->Engine().m_strDestFile); }

namespace {

// A setting as the window names it: by the field or box that holds it, in quotes.
std::string WindowName(wayloom::Setting setting) {
  using wayloom::Setting;
  switch (setting) {
    case Setting::kStep:
      return "'Extra points step distance in meters'";
    case Setting::kPeriod:
      return "'Time period in seconds'";
    case Setting::kDate:
      return "'RMC sentences carry the date'";
    case Setting::kExtraPoints:
      return "'Create extra points.'";
    case Setting::kSpeed:
      return "'Receiver mode' with its 'Speed (knots)'";
    case Setting::kTimed:
      return "'Timed (recorded times, as logged)'";
    case Setting::kDwell:
      return "'Dwell at points (s)'";
    case Setting::kStart:
      return "'Start (UTC)'";
    case Setting::kSentences:
      return "'Sentences'";
    case Setting::kNoise:
      return "'Noise (m)'";
    case Setting::kSeed:
      return "'Seed'";
    case Setting::kServe:
      return "'TCP clients'";
    case Setting::kUdp:
      return "'UDP datagrams'";
    case Setting::kPty:
      return "'Pseudo-terminal'";
    case Setting::kSerial:
      return "'Serial port'";
    case Setting::kEmulator:
      return "'Android emulator'";
    case Setting::kEmulatorToken:
      return "'Token file'";
    case Setting::kSpeedup:
      return "'Speed-up'";
    case Setting::kMask:
      return "'Mask (degrees)'";
    case Setting::kSystems:
      return "'Systems'";
    case Setting::kAlmanac:
      return "'Almanac'";
    case Setting::kNmea:
      return "'NMEA version'";
    case Setting::kOutage:
      return "'Outages'";
    case Setting::kReplay:
      return "'Source kind' set to 'NMEA log'";
    case Setting::kWaitClients:
      return "'Wait for clients'";
    case Setting::kCsv:
      return "'Source kind' set to 'CSV with a header'";
    case Setting::kPath:
      return "'Path'";
    case Setting::kRuns:
    case Setting::kClientTimeout:
    case Setting::kGpx:
      return "'GPX track file'";
    case Setting::kKml:
      return "'KML track file'";
  }
  return "a setting";
}

// How the receiver moves: in the recorded times (an empty start keeps the recorded one), or at
// its speed with its dwell.
void MotionTexts(const QCheckBox* timed, const QLineEdit* speed, const QLineEdit* dwell,
                 const QLineEdit* start, wayloom::SettingTexts& texts) {
  texts.timed = timed->isChecked();
  if (!texts.timed) {
    texts.speed = speed->text().toStdString();
    texts.dwell = dwell->text().toStdString();
  }
  if (!texts.timed || !start->text().isEmpty()) texts.start = start->text().toStdString();
}

}  // namespace

wayloom::SettingTexts CTrackDlg::SettingTexts(bool live) const {
  wayloom::SettingTexts texts;
  texts.decimalComma = locale().decimalPoint() == QStringLiteral(",");
  texts.step = m_stepEdit->text().toStdString();
  texts.period = m_periodEdit->text().toStdString();
  if (m_dateBox->isChecked()) {
    texts.date = m_dateEdit->date().toString(Qt::ISODate).toStdString();
  }
  texts.extraPoints = m_extraPointsBox->isChecked();
  if (m_receiverBox->isChecked()) {
    MotionTexts(m_timedBox, m_speedEdit, m_dwellEdit, m_startEdit, texts);
    texts.sentences = m_sentencesEdit->text().toStdString();
    texts.noise = m_noiseEdit->text().toStdString();
    texts.seed = m_seedEdit->text().toStdString();
    texts.mask = m_maskEdit->text().toStdString();
    texts.systems = m_systemsEdit->text().toStdString();
    texts.nmea = m_nmeaEdit->text().toStdString();
    if (!m_almanacEdit->text().isEmpty()) texts.almanac = PathSetting(m_almanacEdit->text());
    for (const QString& outage :
         m_outagesEdit->text().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      texts.outages.push_back(outage.toStdString());
    }
  }
  texts.csv = m_sourceKind->currentIndex() == 2;
  if (m_sourceKind->currentIndex() != 1 && m_pathBox->count() > 1 &&
      m_sourceEdit->text() == m_pathsOf) {
    texts.path = std::to_string(m_pathBox->currentIndex() + 1);
  }
  if (m_sourceKind->currentIndex() == 1) {
    texts.replay = PathSetting(m_sourceEdit->text());
    texts.start.reset();
    if (!m_replayStartEdit->text().trimmed().isEmpty()) {
      texts.start = m_replayStartEdit->text().trimmed().toStdString();
    }
  }
  if (!live) {
    // The timed track files go with the track file; live output writes no file.
    if (!m_gpxEdit->text().trimmed().isEmpty())
      texts.gpx = PathSetting(m_gpxEdit->text().trimmed());
    if (!m_kmlEdit->text().trimmed().isEmpty())
      texts.kml = PathSetting(m_kmlEdit->text().trimmed());
    return texts;
  }
  // Every output ticked, at its place: the one shown as it stands in the edit.
  QString places[kLiveOutputs];
  std::copy(std::begin(m_liveAddressText), std::end(m_liveAddressText), std::begin(places));
  places[m_liveTargetShown] = m_liveAddress->text();
  std::optional<std::string>* const targets[kLiveOutputs] = {&texts.serve, &texts.udp, &texts.pty,
                                                             nullptr, &texts.emulator};
  for (int row = 0; row < kLiveOutputs; ++row) {
    const QListWidgetItem* item = m_liveOutputs->item(row);
    if (item->isHidden() || item->checkState() != Qt::Checked) continue;
    const std::string place = PathSetting(places[row].trimmed());
    if (targets[row]) *targets[row] = place;
    if (row == 3) texts.serial.push_back(place);
  }
  if (texts.emulator && !m_liveToken->text().trimmed().isEmpty()) {
    texts.emulatorToken = PathSetting(m_liveToken->text().trimmed());
  }
  texts.speedup = m_speedupEdit->text().toStdString();
  texts.loop = m_loopBox->isChecked();
  if (texts.serve) texts.waitClients = m_waitClientsEdit->text().trimmed().toStdString();
  return texts;
}

bool CTrackDlg::CheckSettings(bool live, wayloom::JobSettings& settings) {
  const std::string problem = wayloom::CheckSettings(SettingTexts(live), WindowName, settings);
  if (problem.empty()) return true;
  m_prompter.ShowMessage(problem);
  return false;
}

void CTrackDlg::Browse(const QString& initialDirectory, std::string& setting) {
  // First take in everything typed, so that showing the new path does not undo any other edit.
  UpdateData(true);
  CFileChooser chooser(m_picker);
  chooser.SetInitialDir(initialDirectory, PathText(setting));
  // The destination's name is put forward from the source's: M25.csv gives M25.nmea.
  const QString source = m_sourceEdit->text().trimmed();
  if (&setting == &m_job->Engine().m_strDestFile && !source.isEmpty()) {
    chooser.SetProposedName(QFileInfo(source).completeBaseName() + QStringLiteral(".nmea"));
  }
  // "*" rather than "*.*": a file without a dot in its name is a file too.
  const bool ofSource = &setting == &m_job->Engine().m_strSourceFile;
  const bool log = ofSource && m_sourceKind->currentIndex() == 1;
  if (log || !ofSource) {
    chooser.SetFilter({log ? QStringLiteral("*.nmea *.log *.txt") : QStringLiteral("*.txt *.csv"),
                       QStringLiteral("All Files (*)")});
  } else {
    chooser.SetFilter({QStringLiteral("Route files (*.txt *.csv *.gpx *.kml *.geojson *.json)"),
                       QStringLiteral("POI files (*.txt *.csv)"), QStringLiteral("GPX (*.gpx)"),
                       QStringLiteral("KML (*.kml)"), QStringLiteral("GeoJSON (*.geojson *.json)"),
                       QStringLiteral("CSV (*.csv)"), QStringLiteral("All Files (*)")});
  }
  const QString path = chooser.Choose(this);
  if (path.isEmpty()) return;
  setting = PathSetting(path);
  UpdateData(false);
}

void CTrackDlg::CreateTrack() {
  if (m_bTrackRunning) return;
  UpdateData(true);
  wayloom::JobSettings settings;
  if (!CheckSettings(false, settings)) return;
  if (!RunSource(settings)) return;
  settings.dest = Engine().m_strDestFile;
  m_bTrackRunning = true;
  // The map hears every fix of the track and shows the route once the file is written.
  TrackRecorder recorder([this] { DropShownTrack(); });
  m_progress->Start();
  const wayloom::JobSummary track = m_job->Run(settings, &recorder, m_progress.get());
  m_progress->Finish();
  m_bTrackRunning = false;
  // Nothing written (a source that could not be read, No, a destination that could not be
  // opened): the window goes on showing the file as it stays.
  const wayloom::JobOutcome written[] = {wayloom::JobOutcome::kDone, wayloom::JobOutcome::kStopped,
                                         wayloom::JobOutcome::kWriteFailed};
  if (std::find(std::begin(written), std::end(written), track.outcome) != std::end(written)) {
    ShowWrittenTrack(recorder);
  }
  ShowSourcePaths();
  ReportTrack(track);
}

void CTrackDlg::ShowSourcePaths() {
  if (RouteEditing()) return;  // the edited route's file has one path; the source's stay listed
  const wayloom::SourceRead& read = Engine().LastSourceRead();
  m_pathsOf = m_sourceEdit->text();
  m_pathBox->clear();
  for (const wayloom::SourcePath& path : read.paths) {
    const QString name = QString::fromStdString(path.name);
    m_pathBox->addItem((name.isEmpty() ? QStringLiteral("(no name)") : name) +
                       QStringLiteral(" (") + QLatin1String(wayloom::PathKindName(path.kind)) +
                       QLatin1Char(')'));
  }
  m_pathBox->setCurrentIndex(static_cast<int>(read.chosen));
  m_pathBox->setVisible(read.paths.size() > 1);
}

void CTrackDlg::ShowWrittenTrack(TrackRecorder& recorder) {
  m_shownSource = Engine().SourceTable();
  m_shownOutput = Engine().SharedNmeaTable();
  ShowTables(&m_shownSource, m_shownOutput.get());
  m_map->SetTrack(recorder.Route(m_shownSource, m_shownOutput->RowCount()));
}

void CTrackDlg::DropShownTrack() {
  ShowTables(nullptr, nullptr);
  m_shownOutput.reset();
  m_shownSource = wayloom::SourceRows();
  m_map->SetTrack(nullptr);
}

void CTrackDlg::ShowTables(const wayloom::TableRows* source, const wayloom::TableRows* sentences) {
  m_sourceModel->Show(source);
  m_nmeaModel->Show(sentences);
}

void CTrackDlg::ReportTrack(const wayloom::JobSummary& track) {
  if (track.outcome == wayloom::JobOutcome::kDone && !track.replay && wayloom::NoTrack(track)) {
    m_prompter.ShowMessage(NoTrackMessage(track, Engine().m_strSourceFile));
  }
  if (track.outcome == wayloom::JobOutcome::kStopped) {
    m_prompter.ShowMessage("The track was stopped before its end.\nThe output file holds the " +
                           std::to_string(track.sentencesWritten) +
                           " sentences written until then (" +
                           (track.replay ? std::to_string(track.fixesWritten) + " bursts"
                                         : std::to_string(track.pointsWritten) + " of " +
                                               std::to_string(track.pointsRead) + " points") +
                           "), every line complete.");
  } else if (track.outcome == wayloom::JobOutcome::kDone && track.replay) {
    // A replay the map has nothing to show of says why.
    if (track.logLines.sentences == 0) {
      m_prompter.ShowMessage(wayloom::NoTrackLine(track, Engine().m_strSourceFile));
    } else if (track.positions == 0) {
      m_prompter.ShowMessage(
          "No sentence of the log reports a position (RMC, GGA, GLL or GNS with a fix): the map "
          "has none to show.");
    }
  }
}

void CTrackDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
}

bool CTrackDlg::ConfirmClose() {
  if (RouteEditing() && !m_routeEditor->History().isClean() &&
      !m_prompter.AskYesNo("The route edited is not saved.\nClose Wayloom and drop it? (No keeps "
                           "the window open.)")) {
    return false;
  }
  if (!m_live || !m_live->Running()) return true;
  return m_prompter.AskYesNo(
      "Live output is still sending.\nStop it and close Wayloom? (No keeps the window open.)");
}

void CTrackDlg::accept() {
  if (m_bTrackRunning || !ConfirmClose()) return;
  OnStopLive();
  m_job->Engine().FreePoiList();
  QDialog::accept();
}

void CTrackDlg::reject() {
  if (m_bTrackRunning || !ConfirmClose()) return;
  OnStopLive();
  m_job->Engine().FreePoiList();
  QDialog::reject();
}

// Esc closes a dialog, never the main window: that takes Exit or the close box.
void CTrackDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CTrackDlg::closeEvent(QCloseEvent* event) {
  // The engine is in the middle of a track: the progress window's Cancel is the way to end it.
  if (m_bTrackRunning) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

int CTrackDlg::ColumnWidth(const std::string& title) {
  static const std::pair<const char*, int> kWidths[] = {{"Latitude", 100},
                                                        {"Longitude", 100},
                                                        {"Description", 260},
                                                        {"Distance", 95},
                                                        {"NMEA strings", 500}};
  for (const auto& [name, width] : kWidths) {
    if (title == name) return width;
  }
  return 100;
}

// The widths of the columns, and for the sentence table at least the width of its longest sentence
// among the first and last rows, so that every checksum shows.
void CTrackDlg::ApplyColumnWidths(QTableView* view, const wayloom::TableRows& table) {
  const int columns = view->model()->columnCount();
  for (int column = 0; column < columns; ++column) {
    view->horizontalHeader()->resizeSection(
        column, ColumnWidth(table.Column(static_cast<std::size_t>(column)).title));
  }
  if (view != m_ctlNmeaList || columns != 1) return;
  constexpr int kSampleRows = 200;
  const int rows = view->model()->rowCount();
  int widest = 0;
  const auto widen = [&](int row) {
    const QString text = view->model()->index(row, 0).data().toString();
    widest = std::max(widest, view->fontMetrics().horizontalAdvance(text));
  };
  for (int row = 0; row < std::min(rows, kSampleRows); ++row) widen(row);
  for (int row = std::max(kSampleRows, rows - kSampleRows); row < rows; ++row) widen(row);
  const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 8;
  view->horizontalHeader()->resizeSection(
      0, std::max(ColumnWidth(table.Column(0).title), widest + margins));
}

void CTrackDlg::OnStartLive() { StartLiveFrom(std::nullopt); }

void CTrackDlg::StartLiveFrom(std::optional<std::size_t> point) {
  const wayloom::SeekTarget target{wayloom::SeekTarget::Kind::kPoint,
                                   point ? static_cast<double>(*point) : 0.0};
  if (m_live && m_live->Running()) {
    if (point) m_playback->Seek(target);
    m_playback->Resume();
    ShowLiveRunning(true);
    return;
  }
  UpdateData(true);
  wayloom::JobSettings settings;
  if (!CheckSettings(true, settings)) return;
  if (!settings.live.Wanted()) {
    m_prompter.ShowMessage("Tick an output under 'Send to' to send the track to.");
    return;
  }
  if (!RunSource(settings)) return;
  m_playback =
      std::make_shared<wayloom::Playback>(settings.live.speedup, !m_silentPauseBox->isChecked());
  if (point) m_playback->Seek(target);
  settings.live.playback = m_playback;
  if (!m_live) m_live = std::make_unique<wayloom::LiveSession>();
  std::string error;
  if (!m_live->Start(settings, m_reorderBox->isChecked(), m_extraPointsBox->isChecked(), error)) {
    m_prompter.ShowMessage(LiveStartMessage(error));
    return;
  }
  m_monitor->Restart();
  if (m_monitor->isHidden()) {
    m_monitor->show();
    const int height = m_mapSplitter->height();
    m_mapSplitter->setSizes({height - height * 2 / 5, height * 2 / 5});
  }
  ShowLiveRunning(true);
  m_map->ClearTrail();  // the trail shows this run
  PollLive();
  m_liveTimer->start();
}

void CTrackDlg::OnStopLive() {
  if (!m_live) return;
  m_live->Stop();
  PollLive();
}

void CTrackDlg::PollLive() {
  if (!m_live) return;
  const wayloom::LiveStatus status = m_live->TakeStatus();
  const bool paused = status.running && m_playback && m_playback->Paused();
  m_liveStatus->setText((paused ? QStringLiteral("Paused. ") : QString()) + LiveStatusText(status));
  m_monitor->Refresh(status, *m_live);
  if (status.running && status.hasFix) {
    m_map->SetLivePosition(status.latitude, status.longitude, status.counts.fixesSent);
  }
  ShowPlayback();
  if (!status.running) {
    m_liveTimer->stop();
    m_map->ClearLivePosition();
    ShowLiveRunning(false);
  }
  // A message box runs the event loop: no further status is taken while it is open.
  if (status.messages.empty()) return;
  const bool polling = m_liveTimer->isActive();
  m_liveTimer->stop();
  for (const std::string& message : status.messages) m_prompter.ShowMessage(WindowMessage(message));
  if (polling) m_liveTimer->start();
}

void CTrackDlg::ShowLiveRunning(bool running) {
  const bool paused = running && m_playback && m_playback->Paused();
  m_liveStart->setEnabled(!running || paused);
  m_livePause->setEnabled(running && !paused);
  m_liveStop->setEnabled(running);
  for (QWidget* setting : m_liveSettings) setting->setEnabled(!running);
  // The speed-up changes while the track runs.
  m_speedupEdit->setEnabled(true);
  m_liveSettings[8]->setEnabled(true);
  // Only TCP clients can be waited for.
  const bool tcp = m_liveOutputs->item(0)->checkState() == Qt::Checked;
  m_waitClientsEdit->setEnabled(!running && tcp);
  m_waitClientsLabel->setEnabled(!running && tcp);
  // A preset would change the live output's settings: none is loaded while it runs.
  m_presetBox->setEnabled(!running && m_presetStore);
}

QString CTrackDlg::ProposedDestination(const QString& source) {
  const QFileInfo file(source);
  const QString path = file.absoluteFilePath();
  QString proposed = file.absoluteDir().filePath(file.completeBaseName() + QStringLiteral(".nmea"));
  if (proposed.compare(path, Qt::CaseInsensitive) == 0) proposed = path + QStringLiteral(".nmea");
  return QDir::toNativeSeparators(proposed);
}

void CTrackDlg::OpenSource(const QString& path) {
  const QString source = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
  m_sourceEdit->setText(source);
  m_destEdit->setText(ProposedDestination(source));
  UpdateData(true);
}

void CTrackDlg::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.first().isLocalFile()) event->acceptProposedAction();
}

void CTrackDlg::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.first().isLocalFile()) return;
  m_sourceEdit->setText(QDir::toNativeSeparators(urls.first().toLocalFile()));
  event->acceptProposedAction();
}

namespace {

// Keys of the settings, one per remembered value.
const char* const kSourceKey = "track/source";
const char* const kDestKey = "track/destination";
const char* const kGpxKey = "track/gpx";
const char* const kKmlKey = "track/kml";
const char* const kStepKey = "track/step";
const char* const kPeriodKey = "track/period";
const char* const kReorderKey = "track/reorder";
const char* const kExtraKey = "track/extraPoints";
const char* const kDatedKey = "sentences/dated";
const char* const kDateKey = "sentences/date";
const char* const kTargetKey = "live/target";
const char* const kTcpKey = "live/tcp";
const char* const kUdpKey = "live/udp";
const char* const kPtyKey = "live/pty";
const char* const kSerialKey = "live/serial";
const char* const kEmulatorKey = "live/emulator";
const char* const kTokenKey = "live/token";
const char* const kTickedKey = "live/ticked";
const char* const kSpeedupKey = "live/speedup";
const char* const kWaitKey = "live/waitClients";
const char* const kLoopKey = "live/loop";
const char* const kSilentPauseKey = "live/silentPause";
const char* const kReceiverKey = "receiver/on";
const char* const kTimedKey = "receiver/timed";
const char* const kSpeedKey = "receiver/speed";
const char* const kDwellKey = "receiver/dwell";
const char* const kStartKey = "receiver/start";
const char* const kSentencesKey = "receiver/sentences";
const char* const kNoiseKey = "receiver/noise";
const char* const kSeedKey = "receiver/seed";
const char* const kSystemsKey = "receiver/systems";
const char* const kMaskKey = "receiver/mask";
const char* const kOutagesKey = "receiver/outages";
const char* const kNmeaKey = "receiver/nmea";
const char* const kAlmanacKey = "receiver/almanac";
const char* const kSourceKindKey = "track/sourceKind";
const char* const kReplayStartKey = "track/replayStart";
const char* const kSizeKey = "window/size";
const char* const kSplitKey = "window/split";

}  // namespace

std::vector<CTrackDlg::KeptField> CTrackDlg::KeptFields() const {
  std::vector<KeptField> fields;
  const std::pair<const char*, QLineEdit*> edits[] = {
      {kSourceKey, m_sourceEdit},   {kDestKey, m_destEdit},
      {kGpxKey, m_gpxEdit},         {kKmlKey, m_kmlEdit},
      {kStepKey, m_stepEdit},       {kWaitKey, m_waitClientsEdit},
      {kPeriodKey, m_periodEdit},   {kSpeedupKey, m_speedupEdit},
      {kSpeedKey, m_speedEdit},     {kDwellKey, m_dwellEdit},
      {kStartKey, m_startEdit},     {kSentencesKey, m_sentencesEdit},
      {kNoiseKey, m_noiseEdit},     {kSeedKey, m_seedEdit},
      {kSystemsKey, m_systemsEdit}, {kMaskKey, m_maskEdit},
      {kOutagesKey, m_outagesEdit}, {kNmeaKey, m_nmeaEdit},
      {kAlmanacKey, m_almanacEdit}, {kReplayStartKey, m_replayStartEdit},
      {kTokenKey, m_liveToken}};
  for (const auto& [key, edit] : edits) {
    fields.push_back({key, [edit = edit] { return QVariant(edit->text()); },
                      [edit = edit](const QVariant& value) { edit->setText(value.toString()); }});
  }
  const std::pair<const char*, QCheckBox*> boxes[] = {{kReorderKey, m_reorderBox},
                                                      {kExtraKey, m_extraPointsBox},
                                                      {kDatedKey, m_dateBox},
                                                      {kLoopKey, m_loopBox},
                                                      {kReceiverKey, m_receiverBox},
                                                      {kTimedKey, m_timedBox},
                                                      {kSilentPauseKey, m_silentPauseBox}};
  for (const auto& [key, box] : boxes) {
    fields.push_back({key, [box = box] { return QVariant(box->isChecked()); },
                      [box = box](const QVariant& value) { box->setChecked(value.toBool()); }});
  }
  fields.push_back({kDateKey, [this] { return QVariant(m_dateEdit->date().toString(Qt::ISODate)); },
                    [this](const QVariant& value) {
                      const QDate date = QDate::fromString(value.toString(), Qt::ISODate);
                      if (date.isValid()) m_dateEdit->setDate(date);
                    }});
  fields.push_back({kSourceKindKey, [this] { return QVariant(m_sourceKind->currentIndex()); },
                    [this](const QVariant& value) {
                      const int kind = value.toInt();
                      m_sourceKind->setCurrentIndex(kind >= 0 && kind < m_sourceKind->count() ? kind
                                                                                              : 0);
                    }});
  AddLiveFields(fields);
  return fields;
}

// The live outputs' places (the one shown as it stands in the edit), which are ticked, and which
// is selected: after the places, so that selecting one shows its place.
void CTrackDlg::AddLiveFields(std::vector<KeptField>& fields) const {
  const char* const addressKeys[] = {kTcpKey, kUdpKey, kPtyKey, kSerialKey, kEmulatorKey};
  auto* self = const_cast<CTrackDlg*>(this);  // the fields write to the window they read
  for (int i = 0; i < kLiveOutputs; ++i) {
    fields.push_back({addressKeys[i],
                      [self, i] {
                        return QVariant(i == self->m_liveTargetShown ? self->m_liveAddress->text()
                                                                     : self->m_liveAddressText[i]);
                      },
                      [self, i](const QVariant& value) {
                        self->m_liveAddressText[i] = value.toString();
                        if (i == self->m_liveTargetShown)
                          self->m_liveAddress->setText(value.toString());
                      }});
  }
  fields.push_back({kTickedKey,
                    [self] {
                      QStringList ticked;
                      for (int row = 0; row < kLiveOutputs; ++row) {
                        if (self->m_liveOutputs->item(row)->checkState() == Qt::Checked)
                          ticked << QString::number(row);
                      }
                      return QVariant(ticked.join(QLatin1Char(',')));
                    },
                    [self](const QVariant& value) {
                      const QStringList ticked = value.toString().split(QLatin1Char(','));
                      for (int row = 0; row < kLiveOutputs; ++row) {
                        self->m_liveOutputs->item(row)->setCheckState(
                            ticked.contains(QString::number(row)) ? Qt::Checked : Qt::Unchecked);
                      }
                    }});
  fields.push_back({kTargetKey, [self] { return QVariant(self->m_liveTargetShown); },
                    [self](const QVariant& value) {
                      const int target = value.toInt();
                      if (target >= 0 && target < self->m_liveOutputs->count())
                        self->m_liveOutputs->setCurrentRow(target);
                    }});
}

void CTrackDlg::StoreKept(QSettings& settings) const {
  for (const KeptField& field : KeptFields()) settings.setValue(field.key, field.read());
}

void CTrackDlg::ApplyKept(const QSettings& settings) {
  for (const KeptField& field : KeptFields()) {
    if (settings.contains(QLatin1String(field.key))) field.write(settings.value(field.key));
  }
  UpdateData(true);
}

void CTrackDlg::RestoreSettings(QSettings& settings) {
  ApplyKept(settings);
  m_presetStore = std::make_unique<QSettings>(settings.fileName(), settings.format());
  ListPresets(QString());
  // The size remembered, or at the first start the default one, within what the screen has room
  // for.
  const QSize saved = settings.value(kSizeKey).toSize();
  const QSize wanted = saved.isValid() ? saved : size();
  QSize most = wanted;
  if (const QScreen* display = screen()) most = display->availableSize();
  resize(wanted.boundedTo(most).expandedTo(minimumSizeHint()));
  if (settings.contains(QLatin1String(kSplitKey))) {
    m_splitter->restoreState(settings.value(kSplitKey).toByteArray());
  }
  m_mapMenu->SetTiles(TileSettings::Read(settings));
}

void CTrackDlg::SaveSettings(QSettings& settings) const {
  StoreKept(settings);
  settings.setValue(kSizeKey, size());
  settings.setValue(kSplitKey, m_splitter->saveState());
  m_mapMenu->Tiles().Write(settings);
}

namespace {

const char* const kPresetsGroup = "presets";

// A preset's group: its name with the characters settings keys give a meaning to (the slash,
// the backslash, the percent sign) and any other beyond ASCII letters and digits escaped.
QString PresetGroup(const QString& name) {
  return QString::fromLatin1(kPresetsGroup) + QLatin1Char('/') +
         QString::fromLatin1(QUrl::toPercentEncoding(name));
}

}  // namespace

QStringList CTrackDlg::PresetNames() const {
  QStringList names;
  if (!m_presetStore) return names;
  m_presetStore->beginGroup(QLatin1String(kPresetsGroup));
  for (const QString& group : m_presetStore->childGroups()) {
    names << QUrl::fromPercentEncoding(group.toLatin1());
  }
  m_presetStore->endGroup();
  names.sort(Qt::CaseInsensitive);
  return names;
}

void CTrackDlg::ListPresets(const QString& current) {
  const QStringList names = PresetNames();
  m_presetBox->clear();
  m_presetBox->addItems(names);
  m_presetBox->setCurrentIndex(static_cast<int>(names.indexOf(current)));
  // Enabled while empty too: its context menu is the keyboard's way to Save.
  m_presetBox->setEnabled(m_presetStore && !(m_live && m_live->Running()));
  m_presetButton->setEnabled(m_presetStore != nullptr);
  const QList<QAction*> actions = m_presetBox->actions();
  for (int i = 1; i < actions.size(); ++i) actions[i]->setEnabled(!names.isEmpty());
}

bool CTrackDlg::SavePreset(const QString& name) {
  if (!m_presetStore) return false;
  const QString trimmed = name.trimmed();
  if (trimmed.isEmpty()) {
    m_prompter.ShowMessage("A preset needs a name.");
    return false;
  }
  if (PresetNames().contains(trimmed) &&
      !m_prompter.AskYesNo("A preset named '" + trimmed.toStdString() +
                           "' is saved already.\nReplace it with the settings as they stand?")) {
    return false;
  }
  m_presetStore->remove(PresetGroup(trimmed));
  m_presetStore->beginGroup(PresetGroup(trimmed));
  StoreKept(*m_presetStore);
  m_presetStore->endGroup();
  m_presetStore->sync();
  ListPresets(trimmed);
  return true;
}

bool CTrackDlg::LoadPreset(const QString& name) {
  if (!m_presetStore || !PresetNames().contains(name)) return false;
  if (m_live && m_live->Running()) {
    m_prompter.ShowMessage("Stop sending before loading a preset: it changes the live output.");
    return false;
  }
  m_presetStore->beginGroup(PresetGroup(name));
  ApplyKept(*m_presetStore);
  m_presetStore->endGroup();
  ListPresets(name);
  return true;
}

bool CTrackDlg::RenamePreset(const QString& name, const QString& newName) {
  const QString trimmed = newName.trimmed();
  if (!m_presetStore || !PresetNames().contains(name) || trimmed == name) return false;
  if (trimmed.isEmpty() || PresetNames().contains(trimmed)) {
    m_prompter.ShowMessage(trimmed.isEmpty() ? std::string("A preset needs a name.")
                                             : "A preset named '" + trimmed.toStdString() +
                                                   "' is saved already: delete it first.");
    return false;
  }
  m_presetStore->beginGroup(PresetGroup(name));
  QVariantMap values;
  for (const QString& key : m_presetStore->allKeys()) values[key] = m_presetStore->value(key);
  m_presetStore->endGroup();
  m_presetStore->beginGroup(PresetGroup(trimmed));
  for (auto value = values.cbegin(); value != values.cend(); ++value) {
    m_presetStore->setValue(value.key(), value.value());
  }
  m_presetStore->endGroup();
  m_presetStore->remove(PresetGroup(name));
  m_presetStore->sync();
  ListPresets(trimmed);
  return true;
}

bool CTrackDlg::DeletePreset(const QString& name) {
  if (!m_presetStore || !PresetNames().contains(name)) return false;
  m_presetStore->remove(PresetGroup(name));
  m_presetStore->sync();
  ListPresets(QString());
  return true;
}

void CTrackDlg::OnLoadPreset(int index) {
  if (index >= 0) LoadPreset(m_presetBox->itemText(index));
}

QString CTrackDlg::AskPresetName(const QString& title, const QString& proposed) {
  return QInputDialog::getText(this, title, QStringLiteral("Name of the preset:"),
                               QLineEdit::Normal, proposed);
}

void CTrackDlg::OnSavePreset() {
  UpdateData(true);
  const QString name = AskPresetName(QStringLiteral("Save as preset"), m_presetBox->currentText());
  if (!name.isNull()) SavePreset(name);
}

void CTrackDlg::OnRenamePreset() {
  const QString current = m_presetBox->currentText();
  if (current.isEmpty()) return;
  const QString name = AskPresetName(QStringLiteral("Rename preset"), current);
  if (!name.isNull()) RenamePreset(current, name);
}

void CTrackDlg::OnDeletePreset() {
  const QString current = m_presetBox->currentText();
  if (!current.isEmpty() &&
      m_prompter.AskYesNo("Delete the preset '" + current.toStdString() + "'?")) {
    DeletePreset(current);
  }
}
