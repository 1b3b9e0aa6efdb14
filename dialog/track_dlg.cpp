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
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog/about_dlg.h"
#include "dialog/message_box_prompter.h"
#include "dialog/table_model.h"
#include "dialog/track_map.h"

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
      m_job(std::make_unique<wayloom::TrackJob>(*m_windowPrompter, *m_boxStates)) {
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
  m_sourceModel = new TableModel(m_job->Engine().SourceTable(), this);
  m_ctlSourceList = MakeTableView(QStringLiteral("sourceTable"), m_sourceModel, this);
  m_stepEdit = new QLineEdit(this);
  m_periodEdit = new QLineEdit(this);
  m_nmeaModel = new TableModel(m_job->Engine().NmeaTable(), this);
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

  // The controls of the track on the left; the map, the sentence options and the live output
  // beside them.
  auto* parts = new QWidget(this);
  auto* layout = new QVBoxLayout(parts);
  layout->setContentsMargins(0, 0, 0, 0);
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

  m_splitter = new QSplitter(Qt::Horizontal, this);
  m_splitter->setObjectName(QStringLiteral("splitter"));
  m_splitter->setChildrenCollapsible(false);
  m_splitter->addWidget(parts);
  m_splitter->addWidget(BuildSidePanel());
  m_splitter->setStretchFactor(0, 1);
  m_splitter->setStretchFactor(1, 1);
  auto* outer = new QVBoxLayout(this);
  outer->setMenuBar(m_menuBar);
  outer->addWidget(m_splitter);

  // The new controls come after those of the track, in the order they stand in.
  QWidget* previous = m_extraPointsBox;
  for (QWidget* next : std::initializer_list<QWidget*>{
           m_map,         m_fitButton,   m_dateBox,   m_dateEdit,      m_liveTarget,  m_liveAddress,
           m_speedupEdit, m_loopBox,     m_liveStart, m_liveStop,      m_receiverBox, m_speedEdit,
           m_dwellEdit,   m_startEdit,   m_noiseEdit, m_sentencesEdit, m_seedEdit,    m_systemsEdit,
           m_maskEdit,    m_outagesEdit, m_nmeaEdit,  m_almanacEdit}) {
    setTabOrder(previous, next);
    previous = next;
  }
  m_exitButton->setFocus();

  connect(m_exitButton, &QPushButton::clicked, this, &CTrackDlg::accept);
  connect(m_browseSourceButton, &QPushButton::clicked, this, &CTrackDlg::OnBrowseSource);
  connect(m_browseDestButton, &QPushButton::clicked, this, &CTrackDlg::OnBrowseDest);
  connect(m_createButton, &QPushButton::clicked, this, &CTrackDlg::CreateTrack);
  connect(m_sourceModel, &QAbstractItemModel::modelReset, this,
          [this] { ApplyColumnWidths(m_ctlSourceList, m_job->Engine().SourceTable()); });
  connect(m_nmeaModel, &QAbstractItemModel::modelReset, this,
          [this] { ApplyColumnWidths(m_ctlNmeaList, m_job->Engine().NmeaTable()); });

  // The track's controls never get less than 80 average characters by 40 lines, the room they
  // were arranged in; at first they are wide enough to show the four source columns side by side,
  // and the map beside them about as wide.
  const QFontMetrics metrics = fontMetrics();
  const QSize least = QSize(80 * metrics.averageCharWidth(), 40 * metrics.lineSpacing())
                          .expandedTo(parts->minimumSizeHint());
  parts->setMinimumSize(least);
  const int sourceColumns = 100 + 100 + 260 + 95;
  const int frame = 2 * m_ctlSourceList->frameWidth() +
                    m_ctlSourceList->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const int partsWidth = std::max(least.width(), sourceColumns + frame);
  m_splitter->setSizes({partsWidth, partsWidth * 4 / 5});
  resize(minimumSizeHint().expandedTo(
      QSize(partsWidth + partsWidth * 4 / 5 + outer->contentsMargins().left() +
                outer->contentsMargins().right() + m_splitter->handleWidth(),
            0)));
}

QWidget* CTrackDlg::BuildSidePanel() {
  auto* panel = new QWidget(this);
  m_map = new CTrackMap(panel);
  m_map->SetDescriber([this](std::size_t index) {
    const wayloom::Table& source = m_job->Engine().SourceTable();
    return index + 1 < source.RowCount() ? TextFromBytes(source.Cell(index, 2)) : QString();
  });
  m_fitButton = new QPushButton(QStringLiteral("Fit"), panel);
  m_fitButton->setObjectName(QStringLiteral("fitButton"));
  m_mapStatus = new QLabel(panel);
  m_mapStatus->setObjectName(QStringLiteral("mapStatus"));
  auto* mapBar = new QHBoxLayout;
  mapBar->addWidget(m_mapStatus, 1);
  mapBar->addWidget(m_fitButton);

  // Whether the RMC sentences carry a date, and which.
  auto* sentences = new QGroupBox(QStringLiteral("Sentences"), panel);
  auto* sentencesForm = new QFormLayout(sentences);
  m_dateBox = new QCheckBox(QStringLiteral("RMC sentences carry the date"), sentences);
  m_dateBox->setObjectName(QStringLiteral("dateBox"));
  m_dateEdit = new QDateEdit(QDate::currentDate(), sentences);
  m_dateEdit->setObjectName(QStringLiteral("dateEdit"));
  m_dateEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  m_dateEdit->setMinimumDate(QDate(1000, 1, 1));
  m_dateEdit->setCalendarPopup(true);
  m_dateEdit->setEnabled(false);
  sentencesForm->addRow(m_dateBox, m_dateEdit);

  auto* live = new QGroupBox(QStringLiteral("Live output"), panel);
  auto* liveForm = new QFormLayout(live);
  m_liveTarget = new QComboBox(live);
  m_liveTarget->setObjectName(QStringLiteral("liveTarget"));
  m_liveTarget->addItem(QStringLiteral("TCP clients at [HOST:]PORT"));
  m_liveTarget->addItem(QStringLiteral("UDP datagrams to HOST:PORT"));
#ifdef Q_OS_LINUX
  m_liveTarget->addItem(QStringLiteral("Pseudo-terminal linked at"));
#endif
  m_liveAddressText[0] = QStringLiteral("127.0.0.1:10110");
  m_liveAddressText[1] = QStringLiteral("127.0.0.1:10110");
  m_liveAddressText[2] = QDir::home().filePath(QStringLiteral("wayloom-gps"));
  m_liveAddress = new QLineEdit(m_liveAddressText[0], live);
  m_liveAddress->setObjectName(QStringLiteral("liveAddress"));
  auto* target = new QHBoxLayout;
  target->addWidget(m_liveTarget);
  target->addWidget(m_liveAddress, 1);
  liveForm->addRow(QStringLiteral("Send to"), target);
  m_speedupEdit = new QLineEdit(QStringLiteral("1"), live);
  m_speedupEdit->setObjectName(QStringLiteral("speedupEdit"));
  m_speedupEdit->setFixedWidth(8 * fontMetrics().averageCharWidth() + 12);
  m_loopBox = new QCheckBox(QStringLiteral("Loop: start over after the last point"), live);
  m_loopBox->setObjectName(QStringLiteral("loopBox"));
  auto* pace = new QHBoxLayout;
  pace->addWidget(m_speedupEdit);
  pace->addSpacing(fontMetrics().averageCharWidth() * 2);
  pace->addWidget(m_loopBox, 1);
  liveForm->addRow(QStringLiteral("Speed-up"), pace);
  m_liveStart = new QPushButton(QStringLiteral("Start"), live);
  m_liveStart->setObjectName(QStringLiteral("liveStart"));
  m_liveStop = new QPushButton(QStringLiteral("Stop"), live);
  m_liveStop->setObjectName(QStringLiteral("liveStop"));
  m_liveStop->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_liveStart);
  buttons->addWidget(m_liveStop);
  buttons->addStretch(1);
  liveForm->addRow(buttons);
  m_liveStatus = new QLabel(QStringLiteral("Not sending."), live);
  m_liveStatus->setObjectName(QStringLiteral("liveStatus"));
  m_liveStatus->setWordWrap(true);
  // Room for two lines from the start, so that a longer status does not move the map.
  m_liveStatus->setMinimumHeight(2 * fontMetrics().lineSpacing());
  m_liveStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_liveStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
  liveForm->addRow(m_liveStatus);
  for (QPushButton* button : {m_fitButton, m_liveStart, m_liveStop}) button->setAutoDefault(false);

  // Receiver mode: each setting is the command line's option of the same meaning.
  auto* receiver = new QGroupBox(QStringLiteral("Receiver"), panel);
  auto* receiverGrid = new QGridLayout(receiver);
  m_receiverBox =
      new QCheckBox(QStringLiteral("Receiver mode: a fix every period at a set speed"), receiver);
  m_receiverBox->setObjectName(QStringLiteral("receiverBox"));
  receiverGrid->addWidget(m_receiverBox, 0, 0, 1, 4);
  const auto addSetting = [&](QLineEdit*& edit, const char* name, const char* text,
                              const QString& label, const QString& tip, int row, int column) {
    edit = new QLineEdit(QString::fromLatin1(text), receiver);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setToolTip(tip);
    edit->setEnabled(false);
    receiverGrid->addWidget(MakeLabel(label, receiver), row, column);
    receiverGrid->addWidget(edit, row, column + 1);
    connect(m_receiverBox, &QCheckBox::toggled, edit, &QWidget::setEnabled);
  };
  const std::string sentenceList(wayloom::kDefaultSentences);
  addSetting(m_speedEdit, "speedEdit", "30", QStringLiteral("Speed (knots)"),
             QStringLiteral("Ground speed in knots, or followed by km/h, mph or m/s"), 1, 0);
  addSetting(m_dwellEdit, "dwellEdit", "0", QStringLiteral("Dwell (s)"),
             QStringLiteral("Seconds the receiver stands still at every point"), 1, 2);
  addSetting(m_startEdit, "startEdit", "01:00:00", QStringLiteral("Start"),
             QStringLiteral("Time of the first fix as HH:MM:SS, or now"), 2, 0);
  addSetting(m_noiseEdit, "noiseEdit", "0", QStringLiteral("Noise (m)"),
             QStringLiteral("Standard deviation of a smooth position error in metres; 0 for none"),
             2, 2);
  addSetting(
      m_sentencesEdit, "sentencesEdit", sentenceList.c_str(), QStringLiteral("Sentences"),
      QStringLiteral("Each fix's sentences, in order: RMC, GGA, GLL, VTG, GSA, GSV, ZDA, GNS"), 3,
      0);
  addSetting(m_seedEdit, "seedEdit", "1", QStringLiteral("Seed"),
             QStringLiteral("The same seed gives the same position error"), 3, 2);
  addSetting(m_systemsEdit, "systemsEdit", "gps", QStringLiteral("Systems"),
             QStringLiteral("Satellite systems: gps, glonass, galileo, beidou"), 4, 0);
  addSetting(m_maskEdit, "maskEdit", "5", QStringLiteral("Mask (degrees)"),
             QStringLiteral("Elevation mask: satellites lower are not seen"), 4, 2);
  addSetting(m_outagesEdit, "outagesEdit", "", QStringLiteral("Outages"),
             QStringLiteral("No fix for a while: START+SECONDS from the first fix, several "
                            "separated by spaces"),
             5, 0);
  addSetting(m_nmeaEdit, "nmeaEdit", "2.3", QStringLiteral("NMEA"),
             QStringLiteral("NMEA 0183 version of the sentences: 2.3 or 4.1"), 5, 2);
  addSetting(m_almanacEdit, "almanacEdit", "", QStringLiteral("Almanac"),
             QStringLiteral("A GPS almanac file (YUMA or SEM) for the GPS satellites; empty for "
                            "their nominal orbits"),
             6, 0);
  receiverGrid->setColumnStretch(1, 2);
  receiverGrid->setColumnStretch(3, 1);

  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_map, 1);
  layout->addLayout(mapBar);
  layout->addWidget(sentences);
  layout->addWidget(live);
  layout->addWidget(receiver);

  m_liveTimer = new QTimer(this);
  m_liveTimer->setInterval(200);
  connect(m_liveTimer, &QTimer::timeout, this, &CTrackDlg::PollLive);
  connect(m_fitButton, &QPushButton::clicked, m_map, &CTrackMap::Fit);
  connect(m_map, &CTrackMap::StatusChanged, m_mapStatus, &QLabel::setText);
  connect(m_dateBox, &QCheckBox::toggled, m_dateEdit, &QWidget::setEnabled);
  connect(m_liveTarget, &QComboBox::currentIndexChanged, this, [this](int index) {
    m_liveAddressText[m_liveTargetShown] = m_liveAddress->text();
    m_liveTargetShown = index;
    m_liveAddress->setText(m_liveAddressText[index]);
  });
  connect(m_liveStart, &QPushButton::clicked, this, &CTrackDlg::OnStartLive);
  connect(m_liveStop, &QPushButton::clicked, this, &CTrackDlg::OnStopLive);
  connect(m_ctlSourceList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) m_map->SelectPoint(static_cast<std::size_t>(current.row()));
          });
  setAcceptDrops(true);
  return panel;
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
    case Setting::kDwell:
      return "'Dwell (s)'";
    case Setting::kStart:
      return "'Start'";
    case Setting::kSentences:
      return "'Sentences'";
    case Setting::kNoise:
      return "'Noise (m)'";
    case Setting::kSeed:
      return "'Seed'";
    case Setting::kServe:
    case Setting::kUdp:
    case Setting::kPty:
      return "'Send to'";
    case Setting::kSpeedup:
      return "'Speed-up'";
    case Setting::kMask:
      return "'Mask (degrees)'";
    case Setting::kSystems:
      return "'Systems'";
    case Setting::kAlmanac:
      return "'Almanac'";
    case Setting::kNmea:
      return "'NMEA'";
    case Setting::kOutage:
      return "'Outages'";
    case Setting::kRuns:
    case Setting::kWaitClients:
    case Setting::kClientTimeout:
      break;
  }
  return "a setting";
}

}  // namespace

wayloom::SettingTexts CTrackDlg::SettingTexts(bool live) const {
  wayloom::SettingTexts texts;
  texts.step = m_stepEdit->text().toStdString();
  texts.period = m_periodEdit->text().toStdString();
  if (m_dateBox->isChecked()) {
    texts.date = m_dateEdit->date().toString(Qt::ISODate).toStdString();
  }
  texts.extraPoints = m_extraPointsBox->isChecked();
  if (m_receiverBox->isChecked()) {
    texts.speed = m_speedEdit->text().toStdString();
    texts.dwell = m_dwellEdit->text().toStdString();
    texts.start = m_startEdit->text().toStdString();
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
  if (!live) return texts;
  const std::string address = PathSetting(m_liveAddress->text().trimmed());
  std::optional<std::string>* const targets[] = {&texts.serve, &texts.udp, &texts.pty};
  *targets[std::clamp(m_liveTarget->currentIndex(), 0, 2)] = address;
  texts.speedup = m_speedupEdit->text().toStdString();
  texts.loop = m_loopBox->isChecked();
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
  chooser.SetFilter({QStringLiteral("*.txt *.csv"), QStringLiteral("All Files (*)")});
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
  settings.source = Engine().m_strSourceFile;
  settings.dest = Engine().m_strDestFile;
  m_bTrackRunning = true;
  DetachTables();
  // The map hears every fix of the track and shows the route once it is written.
  auto route = std::make_unique<MapTrack>();
  m_progress->Start();
  const wayloom::JobSummary track = m_job->Run(settings, route.get(), m_progress.get());
  m_progress->Finish();
  route->Finish(Engine().SourceTable());
  m_map->SetTrack(std::move(route));
  AttachTables();
  m_bTrackRunning = false;

  if (track.outcome == wayloom::JobOutcome::kStopped) {
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
  OnStopLive();
  m_job->Engine().FreePoiList();
  QDialog::accept();
}

void CTrackDlg::reject() {
  if (m_bTrackRunning) return;
  OnStopLive();
  m_job->Engine().FreePoiList();
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

void CTrackDlg::OnStartLive() {
  if (m_live && m_live->Running()) return;
  UpdateData(true);
  wayloom::JobSettings settings;
  if (!CheckSettings(true, settings)) return;
  settings.source = Engine().m_strSourceFile;
  if (!m_live) m_live = std::make_unique<wayloom::LiveSession>();
  std::string error;
  if (!m_live->Start(settings, m_reorderBox->isChecked(), m_extraPointsBox->isChecked(), error)) {
    m_prompter.ShowMessage(error);
    return;
  }
  ShowLiveRunning(true);
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
  const std::string address = status.endpoints.empty() ? std::string() : status.endpoints.front();
  QString text = QStringLiteral("%1 on %2: %3 client(s), %4 sentences sent")
                     .arg(status.running ? QStringLiteral("Sending")
                                         : (status.stopped ? QStringLiteral("Stopped")
                                                           : QStringLiteral("Ended")),
                          TextFromBytes(address))
                     .arg(status.counts.clients)
                     .arg(status.counts.sentencesSent);
  if (!status.description.empty()) {
    text += QStringLiteral(", last point: %1").arg(TextFromBytes(status.description));
  }
  m_liveStatus->setText(text + QLatin1Char('.'));
  if (status.running && status.hasFix) m_map->SetLivePosition(status.latitude, status.longitude);
  if (!status.running) {
    m_liveTimer->stop();
    m_map->ClearLivePosition();
    ShowLiveRunning(false);
  }
  // A message box runs the event loop: no further status is taken while it is open.
  if (status.messages.empty()) return;
  const bool polling = m_liveTimer->isActive();
  m_liveTimer->stop();
  for (const std::string& message : status.messages) m_prompter.ShowMessage(message);
  if (polling) m_liveTimer->start();
}

void CTrackDlg::ShowLiveRunning(bool running) {
  m_liveStart->setEnabled(!running);
  m_liveStop->setEnabled(running);
  for (QWidget* setting :
       std::initializer_list<QWidget*>{m_liveTarget, m_liveAddress, m_speedupEdit, m_loopBox}) {
    setting->setEnabled(!running);
  }
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
const char* const kSpeedupKey = "live/speedup";
const char* const kLoopKey = "live/loop";
const char* const kReceiverKey = "receiver/on";
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
const char* const kSizeKey = "window/size";
const char* const kSplitKey = "window/split";

}  // namespace

std::vector<CTrackDlg::KeptEdit> CTrackDlg::KeptEdits() const {
  return {
      {kSourceKey, m_sourceEdit},   {kDestKey, m_destEdit},           {kPeriodKey, m_periodEdit},
      {kSpeedupKey, m_speedupEdit}, {kSpeedKey, m_speedEdit},         {kDwellKey, m_dwellEdit},
      {kStartKey, m_startEdit},     {kSentencesKey, m_sentencesEdit}, {kNoiseKey, m_noiseEdit},
      {kSeedKey, m_seedEdit},       {kSystemsKey, m_systemsEdit},     {kMaskKey, m_maskEdit},
      {kOutagesKey, m_outagesEdit}, {kNmeaKey, m_nmeaEdit},           {kAlmanacKey, m_almanacEdit}};
}

std::vector<CTrackDlg::KeptBox> CTrackDlg::KeptBoxes() const {
  return {{kReorderKey, m_reorderBox},
          {kExtraKey, m_extraPointsBox},
          {kDatedKey, m_dateBox},
          {kLoopKey, m_loopBox},
          {kReceiverKey, m_receiverBox}};
}

void CTrackDlg::RestoreSettings(QSettings& settings) {
  for (const KeptEdit& kept : KeptEdits()) {
    if (settings.contains(QLatin1String(kept.key))) {
      kept.edit->setText(settings.value(kept.key).toString());
    }
  }
  for (const KeptBox& kept : KeptBoxes()) {
    if (settings.contains(QLatin1String(kept.key))) {
      kept.box->setChecked(settings.value(kept.key).toBool());
    }
  }
  // The step edit takes digits only, and so does what it is given back.
  const QString step = settings.value(kStepKey).toString();
  int end = 0;
  QString checked = step;
  if (!step.isEmpty() &&
      m_stepEdit->validator()->validate(checked, end) == QValidator::Acceptable) {
    m_stepEdit->setText(step);
  }
  const QDate date = QDate::fromString(settings.value(kDateKey).toString(), Qt::ISODate);
  if (date.isValid()) m_dateEdit->setDate(date);
  const int target = settings.value(kTargetKey, 0).toInt();
  const char* const addressKeys[] = {kTcpKey, kUdpKey, kPtyKey};
  for (int i = 0; i < 3; ++i) {
    m_liveAddressText[i] = settings.value(addressKeys[i], m_liveAddressText[i]).toString();
  }
  m_liveAddress->setText(m_liveAddressText[m_liveTargetShown]);
  if (target > 0 && target < m_liveTarget->count()) m_liveTarget->setCurrentIndex(target);
  UpdateData(true);
  // The size, within what the screen has room for.
  const QSize size = settings.value(kSizeKey).toSize();
  if (size.isValid()) {
    QSize most = size;
    if (const QScreen* display = screen()) most = display->availableSize();
    resize(size.boundedTo(most).expandedTo(minimumSizeHint()));
  }
  if (settings.contains(QLatin1String(kSplitKey))) {
    m_splitter->restoreState(settings.value(kSplitKey).toByteArray());
  }
}

void CTrackDlg::SaveSettings(QSettings& settings) const {
  for (const KeptEdit& kept : KeptEdits()) settings.setValue(kept.key, kept.edit->text());
  for (const KeptBox& kept : KeptBoxes()) settings.setValue(kept.key, kept.box->isChecked());
  settings.setValue(kStepKey, m_stepEdit->text());
  settings.setValue(kDateKey, m_dateEdit->date().toString(Qt::ISODate));
  const int target = m_liveTarget->currentIndex();
  settings.setValue(kTargetKey, target);
  const char* const addressKeys[] = {kTcpKey, kUdpKey, kPtyKey};
  for (int i = 0; i < 3; ++i) {
    settings.setValue(addressKeys[i], i == target ? m_liveAddress->text() : m_liveAddressText[i]);
  }
  settings.setValue(kSizeKey, size());
  settings.setValue(kSplitKey, m_splitter->saveState());
}
