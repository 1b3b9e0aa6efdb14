// The Wayloom window's controls and how they stand: on the left the files, the options, Create
// NMEA Track and Exit, the settings of dated sentences, live output and receiver mode on tabs, and
// the two tables; on the right, taking the rest of the window, the map. Each group has its
// builder; the tab order follows the reading order, and every control has a mnemonic (a letter
// shared by two controls that show at once is shared by labels only: Alt moves the focus between
// their edits in turn).
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <string>

#include "dialog/live_monitor.h"
#include "dialog/map_menu.h"
#include "dialog/table_model.h"
#include "dialog/track_dlg.h"
#include "dialog/track_map.h"
#include "platform/platform.h"

namespace {

// A label for buddy, whose mnemonic gives buddy the focus.
QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

template <typename Control>
Control* Named(Control* control, const char* name) {
  control->setObjectName(QString::fromLatin1(name));
  return control;
}

// A table view that looks and scales like a report list: no grid, no row numbers, whole rows
// selected, and rows of one fixed height so that a million of them cost nothing to lay out.
QTableView* MakeTableView(const char* name, TableModel* model, QWidget* parent) {
  auto* view = Named(new QTableView(parent), name);
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
  // The heading and three rows at the least, so that the window fits a small screen. (The heading
  // has no height of its own until the table has columns.)
  const int heading =
      std::max(view->horizontalHeader()->sizeHint().height(), view->fontMetrics().height() + 8);
  view->setMinimumHeight(heading + 3 * view->verticalHeader()->defaultSectionSize() +
                         2 * view->frameWidth());
  return view;
}

}  // namespace

void CTrackDlg::BuildControls() {
  m_sourceModel = new TableModel(this, TableModel::Tail::kHideBlankRow);
  m_nmeaModel = new TableModel(this);
  auto* controls = new QWidget(this);
  auto* column = new QVBoxLayout(controls);
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(BuildFileRows(controls));
  column->addLayout(BuildOptionRows(controls));
  column->addLayout(BuildActionRow(controls));
  column->addWidget(BuildSettingsTabs(controls));
  column->addLayout(BuildTables(controls), 1);

  m_splitter = Named(new QSplitter(Qt::Horizontal, this), "splitter");
  m_splitter->setChildrenCollapsible(false);
  m_splitter->addWidget(controls);
  m_splitter->addWidget(BuildMapPanel());
  m_splitter->setStretchFactor(0, 0);
  m_splitter->setStretchFactor(1, 1);
  auto* outer = new QVBoxLayout(this);
  outer->setMenuBar(BuildMenu());
  outer->addWidget(m_splitter);

  ConnectControls();
  SetReadingOrder();
  SetDefaultSize(controls);
}

// Help > About, also on the window's context menu.
QMenuBar* CTrackDlg::BuildMenu() {
  m_menuBar = new QMenuBar(this);
  QMenu* helpMenu = m_menuBar->addMenu(QStringLiteral("&Help"));
  m_aboutAction = Named(helpMenu->addAction(QStringLiteral("&About Wayloom...")), "aboutAction");
  connect(m_aboutAction, &QAction::triggered, this, &CTrackDlg::OnAbout);
  addAction(m_aboutAction);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  return m_menuBar;
}

// The two paths, each between its label and its Browse button; empty at first, with a hint.
QLayout* CTrackDlg::BuildFileRows(QWidget* parent) {
  m_sourceEdit = Named(new QLineEdit(parent), "sourceEdit");
  m_sourceEdit->setPlaceholderText(
      QStringLiteral("A POI file, GPX, KML, GeoJSON or CSV file: type, Browse or drop"));
  m_browseSourceButton =
      Named(new QPushButton(QStringLiteral("&Browse"), parent), "browseSourceButton");
  m_destEdit = Named(new QLineEdit(parent), "destEdit");
  m_destEdit->setPlaceholderText(QStringLiteral("The NMEA track file to write"));
  m_browseDestButton =
      Named(new QPushButton(QStringLiteral("Bro&wse"), parent), "browseDestButton");
  auto* rows = new QGridLayout;
  rows->setColumnStretch(1, 1);
  rows->addWidget(BuddyLabel(QStringLiteral("&Source file"), m_sourceEdit, parent), 0, 0);
  m_pathBox = Named(new QComboBox(parent), "pathBox");
  m_pathBox->setToolTip(QStringLiteral("The path of the file to read: it holds several"));
  m_pathBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  m_pathBox->hide();
  // A list of paths belongs to the file it was read from.
  connect(m_sourceEdit, &QLineEdit::textChanged, m_pathBox, [this](const QString& source) {
    m_pathBox->setVisible(source == m_pathsOf && m_pathBox->count() > 1);
  });
  auto* source = new QHBoxLayout;
  source->addWidget(m_sourceEdit, 1);
  source->addWidget(m_pathBox);
  rows->addLayout(source, 0, 1);
  rows->addWidget(m_browseSourceButton, 0, 2);
  rows->addWidget(BuddyLabel(QStringLiteral("&Destination file"), m_destEdit, parent), 1, 0);
  rows->addWidget(m_destEdit, 1, 1);
  rows->addWidget(m_browseDestButton, 1, 2);
  AddSourceKind(rows, parent);
  return rows;
}

// Beside the paths: whether the source is a POI file or a recorded NMEA log, replayed at its own
// pace, and where a replay's first time goes.
void CTrackDlg::AddSourceKind(QGridLayout* rows, QWidget* parent) {
  m_sourceKind = Named(new QComboBox(parent), "sourceKind");
  m_sourceKind->setToolTip(
      QStringLiteral("A POI file or route file (points to travel; its kind told by its content), "
                     "an NMEA log recorded from a receiver, replayed at its own pace, or a CSV "
                     "file whose first line names its columns"));
  m_sourceKind->addItem(QStringLiteral("POI file"));
  m_sourceKind->addItem(QStringLiteral("NMEA log"));
  m_sourceKind->addItem(QStringLiteral("CSV with a header"));
  m_replayStartEdit = Named(new QLineEdit(parent), "replayStartEdit");
  m_replayStartEdit->setPlaceholderText(QStringLiteral("as recorded"));
  m_replayStartEdit->setToolTip(
      QStringLiteral("Where the log's first time goes, HH:MM:SS or now; empty keeps its times. "
                     "The date of Sentences moves its dates."));
  auto* startLabel = BuddyLabel(QStringLiteral("Start (&UTC)"), m_replayStartEdit, parent);
  for (QWidget* replay : std::initializer_list<QWidget*>{m_replayStartEdit, startLabel}) {
    replay->setEnabled(false);
    connect(m_sourceKind, &QComboBox::currentIndexChanged, replay,
            [replay](int kind) { replay->setEnabled(kind == 1); });
  }
  rows->setColumnMinimumWidth(3, fontMetrics().averageCharWidth());
  rows->addWidget(BuddyLabel(QStringLiteral("Source &kind"), m_sourceKind, parent), 0, 4);
  rows->addWidget(m_sourceKind, 0, 5);
  rows->addWidget(startLabel, 1, 4);
  rows->addWidget(m_replayStartEdit, 1, 5);
}

// Step and period, each beside its box; the boxes show their text before the box.
QLayout* CTrackDlg::BuildOptionRows(QWidget* parent) {
  // Both take any text: "Create NMEA Track" checks it and says what is wrong.
  m_stepEdit = Named(new QLineEdit(parent), "stepEdit");
  m_periodEdit = Named(new QLineEdit(parent), "periodEdit");
  const int numberWidth = 8 * fontMetrics().averageCharWidth() + 12;
  m_stepEdit->setFixedWidth(numberWidth);
  m_periodEdit->setFixedWidth(numberWidth);
  m_reorderBox = Named(new QCheckBox(QStringLiteral("&Re-order points in closest order."), parent),
                       "reorderBox");
  m_extraPointsBox =
      Named(new QCheckBox(QStringLiteral("Create extra p&oints."), parent), "extraPointsBox");
  m_reorderBox->setLayoutDirection(Qt::RightToLeft);
  m_extraPointsBox->setLayoutDirection(Qt::RightToLeft);
  auto* rows = new QGridLayout;
  rows->addWidget(
      BuddyLabel(QStringLiteral("Extra points step distance in &meters"), m_stepEdit, parent), 0,
      0);
  rows->addWidget(m_stepEdit, 0, 1);
  rows->addWidget(m_reorderBox, 0, 3, Qt::AlignRight);
  rows->addWidget(BuddyLabel(QStringLiteral("Time &period in seconds"), m_periodEdit, parent), 1,
                  0);
  rows->addWidget(m_periodEdit, 1, 1);
  rows->addWidget(m_extraPointsBox, 1, 3, Qt::AlignRight);
  rows->setColumnMinimumWidth(2, 2 * fontMetrics().averageCharWidth());
  rows->setColumnStretch(2, 1);
  return rows;
}

// Create NMEA Track, the default button (Return presses it), and Exit.
QLayout* CTrackDlg::BuildActionRow(QWidget* parent) {
  m_createButton =
      Named(new QPushButton(QStringLiteral("&Create NMEA Track"), parent), "createButton");
  m_createButton->setDefault(true);
  m_exitButton = Named(new QPushButton(QStringLiteral("E&xit"), parent), "exitButton");
  auto* row = new QHBoxLayout;
  row->addWidget(m_createButton, 1);
  row->addLayout(BuildPresetRow(parent));
  row->addWidget(m_exitButton);
  return row;
}

// The presets: a list of them by name (choosing one loads it) and a button with Save, Rename and
// Delete, which the list's context menu offers too (for the keyboard).
QLayout* CTrackDlg::BuildPresetRow(QWidget* parent) {
  m_presetBox = Named(new QComboBox(parent), "presetBox");
  m_presetBox->setPlaceholderText(QStringLiteral("none saved"));
  m_presetBox->setToolTip(QStringLiteral(
      "Settings saved under a name: the source, destination, options, live output and receiver"));
  m_presetBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  m_presetBox->setMinimumContentsLength(10);
  m_presetButton = Named(new QToolButton(parent), "presetButton");
  m_presetButton->setText(QStringLiteral("..."));
  m_presetButton->setToolTip(QStringLiteral("Save, rename or delete a preset"));
  m_presetButton->setFocusPolicy(Qt::NoFocus);
  m_presetButton->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(m_presetButton);
  const std::pair<const char*, void (CTrackDlg::*)()> actions[] = {
      {"Save as preset...", &CTrackDlg::OnSavePreset},
      {"Rename preset...", &CTrackDlg::OnRenamePreset},
      {"Delete preset", &CTrackDlg::OnDeletePreset}};
  for (const auto& [text, slot] : actions) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    connect(action, &QAction::triggered, this, slot);
    m_presetBox->addAction(action);
  }
  m_presetButton->setMenu(menu);
  m_presetBox->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(m_presetBox, &QComboBox::activated, this, &CTrackDlg::OnLoadPreset);
  m_presetBox->setEnabled(false);  // until there is a store for presets
  m_presetButton->setEnabled(false);
  auto* row = new QHBoxLayout;
  row->setSpacing(2);
  row->addWidget(BuddyLabel(QStringLiteral("&Preset"), m_presetBox, parent));
  row->addWidget(m_presetBox);
  row->addWidget(m_presetButton);
  return row;
}

QWidget* CTrackDlg::BuildSettingsTabs(QWidget* parent) {
  m_settingsTabs = Named(new QTabWidget(parent), "settingsTabs");
  m_settingsTabs->addTab(BuildSentencesPage(), QStringLiteral("S&entences"));
  m_settingsTabs->addTab(BuildLivePage(), QStringLiteral("&Live output"));
  // The receiver's settings are the most: on a small screen they scroll rather than push the
  // tables off the window.
  auto* receiver = new QScrollArea(m_settingsTabs);
  receiver->setWidget(BuildReceiverPage());
  receiver->setWidgetResizable(true);
  receiver->setFrameShape(QFrame::NoFrame);
  receiver->setMinimumHeight(m_settingsTabs->widget(0)->minimumSizeHint().height());
  m_settingsTabs->addTab(receiver, QStringLiteral("Recei&ver"));
  m_settingsTabs->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  return m_settingsTabs;
}

// Whether the RMC sentences carry a date, and which.
QWidget* CTrackDlg::BuildSentencesPage() {
  auto* page = new QWidget;
  m_dateBox =
      Named(new QCheckBox(QStringLiteral("RMC sentences carr&y the date"), page), "dateBox");
  m_dateEdit = Named(new QDateEdit(QDate::currentDate(), page), "dateEdit");
  m_dateEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  m_dateEdit->setMinimumDate(QDate(1000, 1, 1));
  m_dateEdit->setCalendarPopup(true);
  auto* dateLabel = BuddyLabel(QStringLiteral("Date (&UTC)"), m_dateEdit, page);
  for (QWidget* dated : std::initializer_list<QWidget*>{m_dateEdit, dateLabel}) {
    dated->setEnabled(false);
    connect(m_dateBox, &QCheckBox::toggled, dated, &QWidget::setEnabled);
  }
  // The track again as timed track files for phone emulators' location players (a GPX 1.1 track,
  // a KML gx:Track); the classic tracks need the date for them.
  m_gpxEdit = Named(new QLineEdit(page), "gpxEdit");
  m_gpxEdit->setPlaceholderText(QStringLiteral("none"));
  m_gpxEdit->setToolTip(
      QStringLiteral("Also write the track as a timed GPX 1.1 track to this file"));
  m_kmlEdit = Named(new QLineEdit(page), "kmlEdit");
  m_kmlEdit->setPlaceholderText(QStringLiteral("none"));
  m_kmlEdit->setToolTip(
      QStringLiteral("Also write the track as a timed KML gx:Track to this file"));
  auto* rows = new QGridLayout(page);
  rows->addWidget(m_dateBox, 0, 0, 1, 3);
  rows->addWidget(dateLabel, 1, 0);
  rows->addWidget(m_dateEdit, 1, 1);
  rows->addWidget(BuddyLabel(QStringLiteral("&GPX track file"), m_gpxEdit, page), 2, 0);
  rows->addWidget(m_gpxEdit, 2, 1, 1, 2);
  rows->addWidget(BuddyLabel(QStringLiteral("&KML track file"), m_kmlEdit, page), 3, 0);
  rows->addWidget(m_kmlEdit, 3, 1, 1, 2);
  rows->setColumnStretch(2, 1);
  rows->setRowStretch(4, 1);
  return page;
}

// Where the live output goes and at what pace; Start and Stop. Any of the outputs at once: each is
// ticked in the list, and the one selected shows its place (address, link, or serial port with its
// rate) in the edit beside it; a serial port can be picked from the system's. (The status shows
// under the map.)
// The five outputs as a list of boxes to tick, every one shown whole.
void CTrackDlg::BuildLiveOutputList(QWidget* page) {
  m_liveOutputs = Named(new QListWidget(page), "liveOutputs");
  for (const char* name :
       {"TCP clients", "UDP datagrams", "Pseudo-terminal", "Serial port", "Android emulator"}) {
    auto* item = new QListWidgetItem(QString::fromLatin1(name), m_liveOutputs);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(m_liveOutputs->count() == 1 ? Qt::Checked : Qt::Unchecked);
  }
#ifndef Q_OS_LINUX
  m_liveOutputs->item(2)->setHidden(true);  // pseudo-terminals are Linux's
#endif
  m_liveOutputs->setCurrentRow(0);
  // Every output shows, whole: the list is as tall as its rows and as wide as its longest name.
  m_liveOutputs->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_liveOutputs->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_liveOutputs->setMinimumSize(
      m_liveOutputs->sizeHintForColumn(0) + 2 * m_liveOutputs->frameWidth(),
      kLiveOutputs * m_liveOutputs->sizeHintForRow(0) + 2 * m_liveOutputs->frameWidth());
}

QWidget* CTrackDlg::BuildLivePage() {
  auto* page = new QWidget;
  BuildLiveOutputList(page);
  m_liveAddressText[0] = QStringLiteral("127.0.0.1:10110");
  m_liveAddressText[1] = QStringLiteral("127.0.0.1:10110");
  m_liveAddressText[2] = QDir::home().filePath(QStringLiteral("wayloom-gps"));
  m_liveAddressText[4] = QStringLiteral("127.0.0.1:5554");
  m_liveAddress = Named(new QLineEdit(m_liveAddressText[0], page), "liveAddress");
  m_liveAddress->setPlaceholderText(QStringLiteral("[HOST:]PORT"));
  m_serialPorts = Named(new QComboBox(page), "serialPorts");
  ListSerialPorts();
  m_liveAddressText[3] =
      (m_serialPorts->count() > 0 ? m_serialPorts->itemText(0) : QStringLiteral("/dev/ttyUSB0")) +
      QStringLiteral(":4800");
  m_liveToken = Named(new QLineEdit(page), "liveToken");
  m_liveToken->setPlaceholderText(QStringLiteral("~/.emulator_console_auth_token"));
  m_speedupEdit = Named(new QLineEdit(QStringLiteral("1"), page), "speedupEdit");
  m_speedupEdit->setFixedWidth(8 * fontMetrics().averageCharWidth() + 12);
  m_loopBox = Named(new QCheckBox(QStringLiteral("Loop: start over after the last po&int"), page),
                    "loopBox");
  m_silentPauseBox =
      Named(new QCheckBox(QStringLiteral("Send nothing w&hile paused"), page), "silentPauseBox");
  m_silentPauseBox->setToolTip(
      QStringLiteral("Paused, the receiver sends nothing instead of standing still"));
  m_waitClientsEdit = Named(new QLineEdit(QStringLiteral("0"), page), "waitClientsEdit");
  m_waitClientsEdit->setFixedWidth(8 * fontMetrics().averageCharWidth() + 12);
  m_waitClientsLabel = BuddyLabel(QStringLiteral("W&ait for clients"), m_waitClientsEdit, page);
  m_waitClientsEdit->setToolTip(
      QStringLiteral("TCP: the track starts once this many clients are in"));
  m_liveStart = Named(new QPushButton(QStringLiteral("Pla&y"), page), "liveStart");
  m_liveStop = Named(new QPushButton(QStringLiteral("Stop send&ing"), page), "liveStop");
  m_liveStop->setEnabled(false);
  m_livePause = Named(new QPushButton(QStringLiteral("Pause sendin&g"), page), "livePause");
  m_livePause->setEnabled(false);
  m_liveSettings = {BuddyLabel(QStringLiteral("Send &to"), m_liveOutputs, page),
                    m_liveOutputs,
                    BuddyLabel(QStringLiteral("Address or lin&k"), m_liveAddress, page),
                    m_liveAddress,
                    BuddyLabel(QStringLiteral("Serial &ports"), m_serialPorts, page),
                    m_serialPorts,
                    BuddyLabel(QStringLiteral("Toke&n file"), m_liveToken, page),
                    m_liveToken,
                    BuddyLabel(QStringLiteral("Speed-&up"), m_speedupEdit, page),
                    m_speedupEdit,
                    m_loopBox,
                    m_waitClientsLabel,
                    m_waitClientsEdit,
                    m_silentPauseBox};
  auto* rows = new QGridLayout(page);
  rows->addWidget(m_liveSettings[0], 0, 0, Qt::AlignTop);
  rows->addWidget(m_liveOutputs, 0, 1, 3, 1);
  for (int row = 0; row < 3; ++row) {
    rows->addWidget(m_liveSettings[static_cast<std::size_t>(2 * row + 2)], row, 2);
    rows->addWidget(m_liveSettings[static_cast<std::size_t>(2 * row + 3)], row, 3);
  }
  rows->addWidget(m_liveSettings[8], 3, 0);
  rows->addWidget(m_speedupEdit, 3, 1, Qt::AlignLeft);
  rows->addWidget(m_loopBox, 3, 2, 1, 2);
  rows->addWidget(m_waitClientsLabel, 4, 0);
  rows->addWidget(m_waitClientsEdit, 4, 1, Qt::AlignLeft);
  rows->addWidget(m_silentPauseBox, 4, 2, 1, 2);
  auto* playPause = new QHBoxLayout;
  playPause->addWidget(m_liveStart);
  playPause->addWidget(m_livePause);
  rows->addLayout(playPause, 1, 0);
  rows->addWidget(m_liveStop, 2, 0);
  rows->setColumnStretch(3, 1);
  rows->setVerticalSpacing(3);  // five rows in the height the other pages take
  return page;
}

void CTrackDlg::ListSerialPorts() {
  const QString chosen = m_serialPorts->currentText();
  m_serialPorts->clear();
  for (const std::string& port : wayloom::SerialPortNames()) {
    m_serialPorts->addItem(QFile::decodeName(QByteArray::fromStdString(port)));
  }
  m_serialPorts->setCurrentIndex(std::max(0, m_serialPorts->findText(chosen)));
}

// Receiver mode: each setting is the command line's option of the same meaning.
QWidget* CTrackDlg::BuildReceiverPage() {
  auto* page = new QWidget;
  auto* rows = new QGridLayout(page);
  m_receiverBox = Named(
      new QCheckBox(QStringLiteral("Receiver mode: a fix ever&y period at a set speed"), page),
      "receiverBox");
  rows->addWidget(m_receiverBox, 0, 0, 1, 2);
  m_timedBox =
      Named(new QCheckBox(QStringLiteral("Timed (recorded times, as lo&gged)"), page), "timedBox");
  m_timedBox->setToolTip(
      QStringLiteral("Play the route file's recorded times (every point has one) instead of a set "
                     "speed: from its first point's date and time, or shifted to the 'Start "
                     "(UTC)' and the date given"));
  m_timedBox->setEnabled(false);
  connect(m_receiverBox, &QCheckBox::toggled, m_timedBox, &QWidget::setEnabled);
  rows->addWidget(m_timedBox, 0, 2, 1, 2);
  const auto addSetting = [&](QLineEdit*& edit, const char* name, const std::string& text,
                              const QString& label, const QString& tip, int row, int column) {
    edit = Named(new QLineEdit(QString::fromStdString(text), page), name);
    edit->setToolTip(tip);
    QLabel* buddy = BuddyLabel(label, edit, page);
    rows->addWidget(buddy, row, column);
    rows->addWidget(edit, row, column + 1);
    for (QWidget* setting : std::initializer_list<QWidget*>{edit, buddy}) {
      setting->setEnabled(false);
      connect(m_receiverBox, &QCheckBox::toggled, setting, &QWidget::setEnabled);
    }
  };
  addSetting(m_speedEdit, "speedEdit", "30", QStringLiteral("Speed (&knots)"),
             QStringLiteral("Ground speed in knots, or followed by km/h, mph or m/s"), 1, 0);
  addSetting(m_dwellEdit, "dwellEdit", "0", QStringLiteral("Dwell at po&ints (s)"),
             QStringLiteral("Seconds the receiver stands still at every point"), 1, 2);
  addSetting(m_startEdit, "startEdit", "01:00:00", QStringLiteral("Start (&UTC)"),
             QStringLiteral("Time of the first fix as HH:MM:SS, or now; with 'Timed', empty "
                            "for the recorded time"),
             2, 0);
  addSetting(m_noiseEdit, "noiseEdit", "0", QStringLiteral("&Noise (m)"),
             QStringLiteral("Standard deviation of a smooth position error in metres; 0 for none"),
             2, 2);
  addSetting(
      m_sentencesEdit, "sentencesEdit", std::string(wayloom::kDefaultSentences),
      QStringLiteral("Sen&tences"),
      QStringLiteral("Each fix's sentences, in order: RMC, GGA, GLL, VTG, GSA, GSV, ZDA, GNS"), 3,
      0);
  addSetting(m_seedEdit, "seedEdit", "1", QStringLiteral("See&d"),
             QStringLiteral("The same seed gives the same position error"), 3, 2);
  addSetting(m_systemsEdit, "systemsEdit", "gps", QStringLiteral("Syste&ms"),
             QStringLiteral("Satellite systems: gps, glonass, galileo, beidou"), 4, 0);
  addSetting(m_maskEdit, "maskEdit", "5", QStringLiteral("M&ask (degrees)"),
             QStringLiteral("Elevation mask: satellites lower are not seen"), 4, 2);
  addSetting(m_outagesEdit, "outagesEdit", "", QStringLiteral("Ou&tages"),
             QStringLiteral("No fix for a while: START+SECONDS from the first fix, several "
                            "separated by spaces"),
             5, 0);
  addSetting(m_nmeaEdit, "nmeaEdit", "2.3", QStringLiteral("&NMEA version"),
             QStringLiteral("NMEA 0183 version of the sentences: 2.3 or 4.1"), 5, 2);
  addSetting(m_almanacEdit, "almanacEdit", "", QStringLiteral("Al&manac"),
             QStringLiteral("A GPS almanac file (YUMA or SEM) for the GPS satellites; empty for "
                            "their nominal orbits"),
             6, 0);
  // Timed, the recorded times give the motion: no speed or dwell of its own.
  const auto setMotion = [this, rows] {
    const bool ownMotion = m_receiverBox->isChecked() && !m_timedBox->isChecked();
    for (const auto& [row, column] : {std::pair{1, 0}, {1, 1}, {1, 2}, {1, 3}}) {
      rows->itemAtPosition(row, column)->widget()->setEnabled(ownMotion);
    }
  };
  connect(m_receiverBox, &QCheckBox::toggled, this, setMotion);
  connect(m_timedBox, &QCheckBox::toggled, this, setMotion);
  // The default start gives way to the recorded one, and comes back without it.
  m_startEdit->setPlaceholderText(QStringLiteral("recorded"));
  connect(m_timedBox, &QCheckBox::toggled, this, [this](bool timed) {
    const QString defaultStart = QStringLiteral("01:00:00");
    if (m_startEdit->text() == (timed ? defaultStart : QString())) {
      m_startEdit->setText(timed ? QString() : defaultStart);
    }
  });
  rows->setColumnStretch(1, 2);
  rows->setColumnStretch(3, 1);
  return page;
}

// The source points and the sentences written, one above the other, each under its label.
QLayout* CTrackDlg::BuildTables(QWidget* parent) {
  m_ctlSourceList = MakeTableView("sourceTable", m_sourceModel, parent);
  m_ctlNmeaList = MakeTableView("nmeaTable", m_nmeaModel, parent);
  auto* tables = new QVBoxLayout;
  auto* sourceBar = new QHBoxLayout;
  sourceBar->addWidget(BuddyLabel(QStringLiteral("Source &Text"), m_ctlSourceList, parent));
  sourceBar->addStretch(1);
  sourceBar->addLayout(BuildRouteBar(parent));
  tables->addLayout(sourceBar);
  tables->addWidget(m_ctlSourceList, 1);
  tables->addWidget(BuddyLabel(QStringLiteral("&NMEA Text"), m_ctlNmeaList, parent));
  tables->addWidget(m_ctlNmeaList, 1);
  return tables;
}

// The map under a bar with its label, the coordinates under the cursor and Fit; under it, once
// live output has started, the live monitor, and how the live output goes, whichever tab shows.
// Neither text ever widens the window.
QWidget* CTrackDlg::BuildMapPanel() {
  auto* panel = new QWidget(this);
  m_map = new CTrackMap(panel);
  m_map->SetDescriber([this](std::size_t index) {
    return index + 1 < m_shownSource.RowCount() ? TextFromBytes(m_shownSource.Cell(index, 2))
                                                : QString();
  });
  // A tool button, as narrow as its word: the map's bar must leave the map its room in a small
  // window.
  m_fitButton = Named(new QToolButton(panel), "fitButton");
  m_fitButton->setText(QStringLiteral("&Fit"));
  // The map's menu from a button over it (for the mouse) and as its context menu (for the keys:
  // the menu key once the map has the focus).
  m_mapMenu = new MapMenu(*m_map, this);
  auto* mapMenuButton = Named(new QToolButton(panel), "mapMenuButton");
  mapMenuButton->setText(QStringLiteral("Map options"));
  mapMenuButton->setMenu(m_mapMenu);
  mapMenuButton->setPopupMode(QToolButton::InstantPopup);
  mapMenuButton->setFocusPolicy(Qt::NoFocus);
  m_map->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_map, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { m_mapMenu->popup(m_map->mapToGlobal(at)); });
  m_mapStatus = Named(new QLabel(panel), "mapStatus");
  m_mapStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  m_liveStatus =
      Named(new QLabel(QStringLiteral("Live output: not sending."), panel), "liveStatus");
  m_liveStatus->setWordWrap(true);
  m_liveStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_liveStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  m_liveStatus->setMinimumHeight(2 * fontMetrics().lineSpacing());
  m_liveStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* bar = new QHBoxLayout;
  bar->addWidget(BuddyLabel(QStringLiteral("M&ap"), m_map, panel));
  bar->addSpacing(fontMetrics().averageCharWidth() * 2);
  bar->addWidget(m_mapStatus, 1);
  bar->addWidget(mapMenuButton);
  bar->addWidget(m_fitButton);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  m_monitor = new LiveMonitor(panel);
  m_monitor->hide();
  m_mapSplitter = Named(new QSplitter(Qt::Vertical, panel), "mapSplitter");
  m_mapSplitter->setChildrenCollapsible(false);
  m_mapSplitter->addWidget(m_map);
  m_mapSplitter->addWidget(m_monitor);
  m_mapSplitter->setStretchFactor(0, 1);
  layout->addLayout(bar);
  layout->addWidget(m_mapSplitter, 1);
  layout->addLayout(BuildPlaybackBar(panel));
  layout->addWidget(m_liveStatus);
  return panel;
}

void CTrackDlg::ConnectControls() {
  connect(m_exitButton, &QPushButton::clicked, this, &CTrackDlg::accept);
  connect(m_browseSourceButton, &QPushButton::clicked, this, &CTrackDlg::OnBrowseSource);
  connect(m_browseDestButton, &QPushButton::clicked, this, &CTrackDlg::OnBrowseDest);
  connect(m_createButton, &QPushButton::clicked, this, &CTrackDlg::CreateTrack);
  for (const auto& [model, view] :
       {std::pair{m_sourceModel, m_ctlSourceList}, std::pair{m_nmeaModel, m_ctlNmeaList}}) {
    connect(model, &QAbstractItemModel::modelReset, this, [this, model = model, view = view] {
      // (Not while the view shows the route being edited instead.)
      if (model->Shown() && view->model() == model) ApplyColumnWidths(view, *model->Shown());
    });
  }
  m_liveTimer = new QTimer(this);
  m_liveTimer->setInterval(200);
  connect(m_liveTimer, &QTimer::timeout, this, &CTrackDlg::PollLive);
  connect(m_fitButton, &QToolButton::clicked, m_map, &CTrackMap::Fit);
  connect(m_map, &CTrackMap::StatusChanged, m_mapStatus, &QLabel::setText);
  connect(m_liveOutputs, &QListWidget::currentRowChanged, this, [this](int index) {
    if (index < 0) return;
    m_liveAddressText[m_liveTargetShown] = m_liveAddress->text();
    m_liveTargetShown = index;
    m_liveAddress->setText(m_liveAddressText[index]);
    static const char* const kForms[kLiveOutputs] = {
        "[HOST:]PORT", "HOST:PORT", "the path of the link", "DEVICE[:BAUD]", "[HOST:]PORT"};
    m_liveAddress->setPlaceholderText(QString::fromLatin1(kForms[index]));
    if (index == 3) ListSerialPorts();  // a port plugged in since shows up
  });
  // A serial port chosen from the list becomes the serial port's place, with the rate typed.
  connect(m_serialPorts, &QComboBox::activated, this, [this](int index) {
    m_liveOutputs->setCurrentRow(3);
    const QString place = m_liveAddress->text();
    const qsizetype colon = place.lastIndexOf(QLatin1Char(':'));
    const bool rated = colon >= 0 && place.mid(colon + 1).toUInt() > 0;
    m_liveAddress->setText(m_serialPorts->itemText(index) +
                           (rated ? place.mid(colon) : QStringLiteral(":4800")));
    m_liveOutputs->item(3)->setCheckState(Qt::Checked);
  });
  // Only TCP clients can be waited for: the wait is offered while TCP is ticked.
  connect(m_liveOutputs, &QListWidget::itemChanged, this,
          [this] { ShowLiveRunning(m_live && m_live->Running()); });
  connect(m_liveStart, &QPushButton::clicked, this, &CTrackDlg::OnStartLive);
  connect(m_liveStop, &QPushButton::clicked, this, &CTrackDlg::OnStopLive);
  ConnectSourceSelection();
  ConnectPlayback();
  ConnectRouteMap();
  connect(m_ctlNmeaList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            m_map->SelectSentence(current.isValid() ? current.row() : -1);
          });
  setAcceptDrops(true);
}

// Down the left column, row by row, then the map's bar and the map.
void CTrackDlg::SetReadingOrder() {
  QWidget* previous = nullptr;
  for (QWidget* next : std::initializer_list<QWidget*>{m_sourceEdit,      m_browseSourceButton,
                                                       m_destEdit,        m_browseDestButton,
                                                       m_sourceKind,      m_replayStartEdit,
                                                       m_stepEdit,        m_reorderBox,
                                                       m_periodEdit,      m_extraPointsBox,
                                                       m_createButton,    m_presetBox,
                                                       m_exitButton,      m_settingsTabs,
                                                       m_dateBox,         m_dateEdit,
                                                       m_gpxEdit,         m_kmlEdit,
                                                       m_liveOutputs,     m_liveAddress,
                                                       m_serialPorts,     m_liveToken,
                                                       m_speedupEdit,     m_loopBox,
                                                       m_waitClientsEdit, m_silentPauseBox,
                                                       m_liveStart,       m_livePause,
                                                       m_liveStop,        m_liveSlider,
                                                       m_receiverBox,     m_speedEdit,
                                                       m_dwellEdit,       m_startEdit,
                                                       m_noiseEdit,       m_sentencesEdit,
                                                       m_seedEdit,        m_systemsEdit,
                                                       m_maskEdit,        m_outagesEdit,
                                                       m_nmeaEdit,        m_almanacEdit,
                                                       m_ctlSourceList,   m_ctlNmeaList,
                                                       m_fitButton,       m_map}) {
    if (previous) setTabOrder(previous, next);
    previous = next;
  }
  setTabOrder(m_receiverBox, m_timedBox);  // and on to the receiver's settings
  m_sourceEdit->setFocus();
}

// The left column as wide as a whole sentence needs, the map taking the rest: at first more than
// half the window. The window's smallest size is what its controls need, which fits an 800 by
// 600 screen.
void CTrackDlg::SetDefaultSize(QWidget* controls) {
  const QFontMetrics metrics = fontMetrics();
  const int frame = 2 * m_ctlNmeaList->frameWidth() +
                    m_ctlNmeaList->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const int sentence = metrics.horizontalAdvance(
      QStringLiteral("$GPGGA,010000.000,5557.1980,N,00311.2980,W,1,07,1.25,00121,M,047,M,,*4D"));
  const int column = std::max(controls->minimumSizeHint().width(), sentence + frame + 24);
  m_splitter->setSizes({column, column * 9 / 5});
  const QMargins margins = layout()->contentsMargins();
  resize(column * 14 / 5 + m_splitter->handleWidth() + margins.left() + margins.right(),
         56 * metrics.lineSpacing());
}
