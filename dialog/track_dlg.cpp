#include "dialog/track_dlg.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog/about_dlg.h"
#include "dialog/message_box_prompter.h"
#include "dialog/table_model.h"

namespace {

// Where each Browse button starts when that folder exists (else in the folder of the path in its
// edit, else in the home directory).
const QString kSourceBrowseDir = QStringLiteral("C:\\KORVA\\POI");
const QString kDestBrowseDir = QStringLiteral("C:\\temp");

QString PathText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}
std::string PathSetting(const QString& text) { return QFile::encodeName(text).toStdString(); }

QLabel* MakeLabel(const QString& text, QWidget* parent, Qt::Alignment alignment = Qt::AlignLeft) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(alignment | Qt::AlignVCenter);
  return label;
}

// A table view that looks and scales like a report list: no grid, no row numbers, whole rows
// selected, and rows of one fixed height so that a million of them cost nothing to lay out.
QTableView* MakeTableView(const QString& name, TableModel* model, QWidget* parent) {
  auto* view = new QTableView(parent);
  view->setObjectName(name);
  view->setModel(model);
  view->setShowGrid(false);
  view->setWordWrap(false);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view->verticalHeader()->hide();
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  view->horizontalHeader()->setHighlightSections(false);
  view->horizontalHeader()->setStretchLastSection(false);
  view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view->setMinimumHeight(4 * view->verticalHeader()->defaultSectionSize());
  return view;
}

}  // namespace

// The engine's messages go to the message boxes (or the prompter a test gave). While a track runs
// the engine has detached the tables; a message box runs the event loop, so the tables are shown as
// they stand for as long as the box is open, and its time does not count towards the progress
// window.
class CTrackDlg::WindowPrompter : public wayloom::Prompter {
 public:
  explicit WindowPrompter(CTrackDlg& window) : m_window(window) {}

  void ShowMessage(const std::string& text) override {
    const Interruption interruption(m_window);
    m_window.m_prompter.ShowMessage(text);
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
            .arg(PathText(m_window.m_engine->m_strDestFile))
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
  m_window.AttachTables();
}

CTrackDlg::WindowPrompter::Interruption::~Interruption() {
  if (!m_during) return;
  m_window.DetachTables();
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
      m_engine(std::make_unique<wayloom::TrackEngine>(*m_windowPrompter, *m_boxStates)) {
  m_engine->SetProgressMonitor(m_progress.get());
  // The main window of the program: shown in the task bar, and resizable.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("Wayloom"));
  setWindowIcon(WayloomIcon());
  BuildControls();
  UpdateData(false);
}

CTrackDlg::~CTrackDlg() {
  // The views go before the engine whose tables their models read.
  m_ctlSourceList->setModel(nullptr);
  m_ctlNmeaList->setModel(nullptr);
}

void CTrackDlg::BuildControls() {
  m_exitButton = new QPushButton(QStringLiteral("Exit"), this);
  m_sourceEdit = new QLineEdit(this);
  m_browseSourceButton = new QPushButton(QStringLiteral("Browse"), this);
  m_destEdit = new QLineEdit(this);
  m_browseDestButton = new QPushButton(QStringLiteral("Browse"), this);
  m_createButton = new QPushButton(QStringLiteral("Create NMEA Track"), this);
  m_sourceModel = new TableModel(m_engine->SourceTable(), this);
  m_ctlSourceList = MakeTableView(QStringLiteral("sourceTable"), m_sourceModel, this);
  m_stepEdit = new QLineEdit(this);
  m_periodEdit = new QLineEdit(this);
  m_nmeaModel = new TableModel(m_engine->NmeaTable(), this);
  m_ctlNmeaList = MakeTableView(QStringLiteral("nmeaTable"), m_nmeaModel, this);
  m_reorderBox = new QCheckBox(QStringLiteral("Re-order points in closest order."), this);
  m_extraPointsBox = new QCheckBox(QStringLiteral("Create extra points."), this);

  m_exitButton->setObjectName(QStringLiteral("exitButton"));
  m_sourceEdit->setObjectName(QStringLiteral("sourceEdit"));
  m_browseSourceButton->setObjectName(QStringLiteral("browseSourceButton"));
  m_destEdit->setObjectName(QStringLiteral("destEdit"));
  m_browseDestButton->setObjectName(QStringLiteral("browseDestButton"));
  m_createButton->setObjectName(QStringLiteral("createButton"));
  m_stepEdit->setObjectName(QStringLiteral("stepEdit"));
  m_periodEdit->setObjectName(QStringLiteral("periodEdit"));
  m_reorderBox->setObjectName(QStringLiteral("reorderBox"));
  m_extraPointsBox->setObjectName(QStringLiteral("extraPointsBox"));

  // No button is the default: Enter presses only the button that has the focus, so pressing Enter
  // after typing in an edit never closes the window.
  for (QPushButton* button :
       {m_exitButton, m_browseSourceButton, m_browseDestButton, m_createButton}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  m_createButton->setMinimumHeight(2 * m_createButton->sizeHint().height());
  m_stepEdit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_stepEdit));
  const int numberWidth = 8 * fontMetrics().averageCharWidth() + 12;
  m_stepEdit->setFixedWidth(numberWidth);
  m_periodEdit->setFixedWidth(numberWidth);
  // The boxes show their text before the box.
  m_reorderBox->setLayoutDirection(Qt::RightToLeft);
  m_extraPointsBox->setLayoutDirection(Qt::RightToLeft);

  // Help > About, also on the window's context menu.
  m_menuBar = new QMenuBar(this);
  QMenu* helpMenu = m_menuBar->addMenu(QStringLiteral("&Help"));
  m_aboutAction = helpMenu->addAction(QStringLiteral("&About Wayloom..."));
  m_aboutAction->setObjectName(QStringLiteral("aboutAction"));
  connect(m_aboutAction, &QAction::triggered, this, &CTrackDlg::OnAbout);
  addAction(m_aboutAction);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  // The paths with their Browse buttons on the left, Exit and Create NMEA Track on the right.
  auto* files = new QGridLayout;
  files->setColumnStretch(0, 1);
  files->setColumnMinimumWidth(2, 2 * fontMetrics().averageCharWidth());
  files->addWidget(MakeLabel(QStringLiteral("Source file"), this), 0, 0);
  files->addWidget(m_browseSourceButton, 0, 1);
  files->addWidget(m_exitButton, 0, 3, Qt::AlignTop);
  files->addWidget(m_sourceEdit, 1, 0, 1, 2);
  files->addWidget(MakeLabel(QStringLiteral("Destination file"), this), 2, 0);
  files->addWidget(m_browseDestButton, 2, 1);
  files->addWidget(m_createButton, 2, 3, 2, 1);
  files->addWidget(m_destEdit, 3, 0, 1, 2);

  auto* options = new QHBoxLayout;
  options->addWidget(m_extraPointsBox);
  options->addStretch(1);
  options->addWidget(m_reorderBox);

  auto* numbers = new QHBoxLayout;
  numbers->addStretch(1);
  numbers->addWidget(
      MakeLabel(QStringLiteral("Extra points step distance in meters"), this, Qt::AlignRight));
  numbers->addWidget(m_stepEdit);
  numbers->addStretch(2);
  numbers->addWidget(MakeLabel(QStringLiteral("Time period in seconds"), this, Qt::AlignRight));
  numbers->addWidget(m_periodEdit);

  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(m_menuBar);
  layout->addLayout(files);
  layout->addSpacing(fontMetrics().height() / 2);
  layout->addLayout(options);
  layout->addLayout(numbers);
  layout->addSpacing(fontMetrics().height() / 2);
  layout->addWidget(MakeLabel(QStringLiteral("Source Text"), this));
  layout->addWidget(m_ctlSourceList, 1);
  layout->addWidget(MakeLabel(QStringLiteral("NMEA Text"), this));
  layout->addWidget(m_ctlNmeaList, 1);

  setTabOrder(m_exitButton, m_sourceEdit);
  setTabOrder(m_sourceEdit, m_browseSourceButton);
  setTabOrder(m_browseSourceButton, m_destEdit);
  setTabOrder(m_destEdit, m_browseDestButton);
  setTabOrder(m_browseDestButton, m_createButton);
  setTabOrder(m_createButton, m_ctlSourceList);
  setTabOrder(m_ctlSourceList, m_stepEdit);
  setTabOrder(m_stepEdit, m_periodEdit);
  setTabOrder(m_periodEdit, m_ctlNmeaList);
  setTabOrder(m_ctlNmeaList, m_reorderBox);
  setTabOrder(m_reorderBox, m_extraPointsBox);
  m_exitButton->setFocus();

  connect(m_exitButton, &QPushButton::clicked, this, &CTrackDlg::accept);
  connect(m_browseSourceButton, &QPushButton::clicked, this, &CTrackDlg::OnBrowseSource);
  connect(m_browseDestButton, &QPushButton::clicked, this, &CTrackDlg::OnBrowseDest);
  connect(m_createButton, &QPushButton::clicked, this, &CTrackDlg::CreateTrack);
  connect(m_sourceModel, &QAbstractItemModel::modelReset, this,
          [this] { ApplyColumnWidths(m_ctlSourceList, m_engine->SourceTable()); });
  connect(m_nmeaModel, &QAbstractItemModel::modelReset, this,
          [this] { ApplyColumnWidths(m_ctlNmeaList, m_engine->NmeaTable()); });

  // Never smaller than 80 average characters by 40 lines, the room the controls were arranged in;
  // at first wide enough to show the four source columns side by side.
  const QFontMetrics metrics = fontMetrics();
  const QSize least = QSize(80 * metrics.averageCharWidth(), 40 * metrics.lineSpacing())
                          .expandedTo(minimumSizeHint());
  setMinimumSize(least);
  const int sourceColumns = 100 + 100 + 260 + 95;
  const int frame = 2 * m_ctlSourceList->frameWidth() +
                    m_ctlSourceList->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                    layout->contentsMargins().left() + layout->contentsMargins().right();
  resize(least.expandedTo(QSize(sourceColumns + frame, 0)));
}

void CTrackDlg::UpdateData(bool saveAndValidate) {
  wayloom::TrackEngine& engine = *m_engine;
  if (saveAndValidate) {
    engine.m_strSourceFile = PathSetting(m_sourceEdit->text());
    engine.m_strDestFile = PathSetting(m_destEdit->text());
    engine.m_strStepDistance = m_stepEdit->text().toStdString();
    engine.m_strTimePeriod = m_periodEdit->text().toStdString();
    m_bExtraPoints = m_extraPointsBox->isChecked();
    m_bReorder = m_reorderBox->isChecked();
  } else {
    m_sourceEdit->setText(PathText(engine.m_strSourceFile));
    m_destEdit->setText(PathText(engine.m_strDestFile));
    m_stepEdit->setText(TextFromBytes(engine.m_strStepDistance));
    m_periodEdit->setText(TextFromBytes(engine.m_strTimePeriod));
    m_extraPointsBox->setChecked(m_bExtraPoints);
    m_reorderBox->setChecked(m_bReorder);
  }
}

void CTrackDlg::SetProgressDelay(int milliseconds) { m_progress->SetDelay(milliseconds); }

void CTrackDlg::OnBrowseSource() { Browse(kSourceBrowseDir, m_engine->m_strSourceFile); }

void CTrackDlg::OnBrowseDest() { Browse(kDestBrowseDir, m_engine->m_strDestFile); }

void CTrackDlg::Browse(const QString& initialDirectory, std::string& setting) {
  // First take in everything typed, so that showing the new path does not undo any other edit.
  UpdateData(true);
  CFileChooser chooser(m_picker);
  chooser.SetInitialDir(initialDirectory, PathText(setting));
  // "*" rather than "*.*": a file without a dot in its name is a file too.
  chooser.SetFilter({QStringLiteral("*.txt *.csv"), QStringLiteral("All Files (*)")});
  const QString path = chooser.Choose(this);
  if (path.isEmpty()) return;
  setting = PathSetting(path);
  UpdateData(false);
}

void CTrackDlg::CreateTrack() {
  if (m_bTrackRunning) return;
  UpdateData(true);
  m_bTrackRunning = true;
  DetachTables();
  m_progress->Start();
  m_engine->CreateTrack();
  m_progress->Finish();
  AttachTables();
  m_bTrackRunning = false;

  const wayloom::TrackSummary& track = m_engine->LastTrack();
  if (track.outcome == wayloom::TrackOutcome::kStopped) {
    m_prompter.ShowMessage("The track was stopped before its end.\nThe output file holds the " +
                           std::to_string(track.sentencesWritten) +
                           " sentences written until then (" + std::to_string(track.pointsWritten) +
                           " of " + std::to_string(track.pointsRead) +
                           " points), every line complete.");
  }
}

void CTrackDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CTrackDlg::accept() {
  if (m_bTrackRunning) return;
  m_engine->FreePoiList();
  QDialog::accept();
}

void CTrackDlg::reject() {
  if (m_bTrackRunning) return;
  m_engine->FreePoiList();
  QDialog::reject();
}

void CTrackDlg::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
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

void CTrackDlg::AttachTables() {
  m_sourceModel->Attach();
  m_nmeaModel->Attach();
}

void CTrackDlg::DetachTables() {
  m_sourceModel->Detach();
  m_nmeaModel->Detach();
}

void CTrackDlg::ApplyColumnWidths(QTableView* view, const wayloom::Table& table) {
  const int columns = view->model()->columnCount();
  for (int column = 0; column < columns; ++column) {
    view->horizontalHeader()->resizeSection(
        column, table.Column(static_cast<std::size_t>(column)).widthPixels);
  }
}
