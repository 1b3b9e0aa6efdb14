// CTrackDlg: the Wayloom window. It owns a job (and with it the track engine) for the whole run,
// shows the engine's settings in the edits and boxes, its two tables and the map, turns the edits
// into the job's settings through the same checks the command line uses, and shows what the job
// tells.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/host.h"
#include "dialog/file_chooser.h"
#include "job/live_session.h"
#include "job/settings.h"
#include "job/track_job.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;
class QSlider;
class QSettings;
class QSplitter;
class QTabWidget;
class QTableView;
class QTemporaryDir;
class QTimer;
class QToolButton;
class CTrackMap;
class LiveMonitor;
class MapMenu;
class RouteEditor;
class TableModel;

class CTrackDlg : public QDialog {
  Q_OBJECT

 public:
  // prompter and picker replace the message boxes and the file dialog (tests pass scripted ones);
  // null means the real ones. Both must outlive the window.
  explicit CTrackDlg(QWidget* parent = nullptr, wayloom::Prompter* prompter = nullptr,
                     FilePicker* picker = nullptr);
  ~CTrackDlg() override;

  // true: copies the edits and boxes into the settings; false: shows the settings in them.
  void UpdateData(bool saveAndValidate = true);

  const wayloom::TrackEngine& Engine() const { return m_job->Engine(); }
  wayloom::TrackEngine& Engine() { return m_job->Engine(); }
  // How long a track runs before its progress window shows, in milliseconds (500 unless changed).
  void SetProgressDelay(int milliseconds);

  // What the window remembers between runs: paths, options, live output and size. Nothing is
  // read unless asked, so a window that is never given settings starts with the defaults.
  void RestoreSettings(QSettings& settings);
  void SaveSettings(QSettings& settings) const;

  CTrackMap& Map() { return *m_map; }
  // The route edited in the source table (dialog/track_dlg_route.cpp). RouteEditor's AddPoint
  // and MovePoint slots take a place as latitude and longitude, as a click on a map gives it.
  RouteEditor& Route() { return *m_routeEditor; }
  bool RouteEditing() const;

  // Presets (with a settings store from RestoreSettings): the window's kept settings saved under
  // name (an existing one replaced once the person agrees), shown again, renamed, deleted. False,
  // with the reason shown, when it cannot be done.
  bool SavePreset(const QString& name);
  bool LoadPreset(const QString& name);
  bool RenamePreset(const QString& name, const QString& newName);
  bool DeletePreset(const QString& name);
  QStringList PresetNames() const;

  // Opens the window on a file given at start-up: path becomes the source, and the destination
  // the name it proposes beside it (points.csv gives points.nmea).
  void OpenSource(const QString& path);
  // The destination put forward for a source: in its folder, its name with .nmea for its last
  // suffix (.nmea added when that would name the source itself).
  static QString ProposedDestination(const QString& source);

 public slots:
  void OnBrowseSource();
  void OnBrowseDest();
  // "Create NMEA Track".
  void CreateTrack();
  void OnAbout();
  // Live output: starts sending the track as the window's settings make it, and stops it.
  // Play starts it, or goes on after a pause; "Start from this point" on a row of the source
  // table starts it (or goes on) from that point.
  void OnStartLive();
  void OnStopLive();
  void OnPauseLive();
  void StartLiveFrom(std::optional<std::size_t> point);
  // Exit: frees the POI list and closes; while live output runs, once the person agrees.
  void accept() override;
  // The close box: the same.
  void reject() override;
  // "Edit route": the source table shows the route to edit, from the points of the source file;
  // off, it shows the last track's source again.
  void OnEditRoute(bool editing);
  // "Save route as...": a POI file, a CSV file with a header or a GPX route.
  void OnSaveRoute();

 signals:
  // A route began (true) or stopped (false) being edited; RouteEditor::RouteChanged says when its
  // points change.
  void RouteEditingChanged(bool editing);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // A POI file dropped on the window becomes the source file.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Everything the window remembers as it stands (the edits, boxes, date, source kind and the
  // live outputs), each under its settings key: the one list the remembered last settings and
  // every preset go through. Fields are applied in this order.
  struct KeptField {
    const char* key;
    std::function<QVariant()> read;
    std::function<void(const QVariant&)> write;
  };
  std::vector<KeptField> KeptFields() const;
  void AddLiveFields(std::vector<KeptField>& fields) const;
  // Writes every kept field into settings' current group / shows every one settings holds.
  void StoreKept(QSettings& settings) const;
  void ApplyKept(const QSettings& settings);

  // Presets: the kept fields under a name, in the settings' group "presets", a group each; the
  // store is the settings file RestoreSettings was given, written at once.
  void ListPresets(const QString& current);
  void OnLoadPreset(int index);
  void OnSavePreset();
  void OnRenamePreset();
  void OnDeletePreset();
  // Asks for a preset's name; empty when the person cancelled.
  QString AskPresetName(const QString& title, const QString& proposed);

  class WindowPrompter;
  class BoxStates;
  class ProgressWindow;

  // The controls, group by group (dialog/track_dlg_layout.cpp).
  void BuildControls();
  QMenuBar* BuildMenu();
  QLayout* BuildFileRows(QWidget* parent);
  void AddSourceKind(QGridLayout* rows, QWidget* parent);
  // Lists the paths of the file the engine read last beside the source, when it has several.
  void ShowSourcePaths();
  QLayout* BuildOptionRows(QWidget* parent);
  QLayout* BuildActionRow(QWidget* parent);
  QWidget* BuildSettingsTabs(QWidget* parent);
  QWidget* BuildSentencesPage();
  QWidget* BuildLivePage();
  void BuildLiveOutputList(QWidget* page);
  // Offers the serial ports the system has now; keeps the one chosen.
  void ListSerialPorts();
  QWidget* BuildReceiverPage();
  QLayout* BuildTables(QWidget* parent);
  // Route editing: the actions on the source table's context menu and its bar, and the steps.
  QLayout* BuildRouteBar(QWidget* parent);
  void ConnectSourceSelection();
  void ConnectRouteMap();
  bool StartRoute();
  void DeleteRoutePoints();
  void MoveRoutePoint(int by);
  // The source a track or live output runs on: the source file, or while a route is edited, the
  // route written to a file of its own. False, with the message shown, when there is none.
  bool RunSource(wayloom::JobSettings& settings);
  QWidget* BuildMapPanel();
  void ConnectControls();
  void SetReadingOrder();
  void SetDefaultSize(QWidget* controls);
  // Closing: false when live output runs and the person would rather keep it.
  bool ConfirmClose();
  // The edits and boxes as the job's settings, checked as the command line checks its options
  // (and named as the window names them): false, with the message shown, when one is refused.
  // With live, the live output's settings too.
  bool CheckSettings(bool live, wayloom::JobSettings& settings);
  wayloom::SettingTexts SettingTexts(bool live) const;
  // Shows how the live output goes; ends the polling once it has ended.
  void PollLive();
  void ShowLiveRunning(bool running);
  // The playback bar under the map: the slider over the track's time and where the receiver is
  // on it. In track_dlg_playback.cpp with the playback's other handlers.
  QLayout* BuildPlaybackBar(QWidget* parent);
  void ConnectPlayback();
  // The slider and the time as the sending thread last said; the slider untouched while dragged.
  void ShowPlayback();
  // The slider's place asked for: the receiver goes on from there.
  void SeekLive();
  // The speed-up typed while live output runs: the track goes on at it.
  void ChangeLiveSpeedup();
  void Browse(const QString& initialDirectory, std::string& setting);
  QLayout* BuildPresetRow(QWidget* parent);
  // What the window shows of a track: the tables and the map of the last track whose file was
  // written, kept until another one's is; nothing once the next track has started to write.
  void ShowWrittenTrack(class TrackRecorder& recorder);
  void DropShownTrack();
  void ShowTables(const wayloom::TableRows* source, const wayloom::TableRows* sentences);
  // The message after a track the job has not spoken of: stopped, or too few points.
  void ReportTrack(const wayloom::JobSummary& track);
  void ApplyColumnWidths(QTableView* view, const wayloom::TableRows& table);

 public:
  // How wide the window shows a table's column, by its title, in pixels.
  static int ColumnWidth(const std::string& title);

 private:
  // The real message boxes and file dialog, used when no others were given.
  std::unique_ptr<wayloom::Prompter> m_ownPrompter;
  std::unique_ptr<FilePicker> m_ownPicker;
  wayloom::Prompter& m_prompter;
  FilePicker& m_picker;

  std::unique_ptr<WindowPrompter> m_windowPrompter;
  std::unique_ptr<BoxStates> m_boxStates;
  std::unique_ptr<ProgressWindow> m_progress;
  std::unique_ptr<wayloom::TrackJob> m_job;
  bool m_bTrackRunning = false;
  wayloom::SourceRows m_shownSource;                         // of the track shown, if any
  std::shared_ptr<const wayloom::OutputRows> m_shownOutput;  // null: no track shown

  QMenuBar* m_menuBar = nullptr;
  QAction* m_aboutAction = nullptr;
  QPushButton* m_exitButton = nullptr;
  QLineEdit* m_sourceEdit = nullptr;
  QPushButton* m_browseSourceButton = nullptr;
  QLineEdit* m_destEdit = nullptr;
  QPushButton* m_browseDestButton = nullptr;
  QPushButton* m_createButton = nullptr;
  QComboBox* m_presetBox = nullptr;  // the presets by name; choosing one loads it
  QToolButton* m_presetButton = nullptr;
  std::unique_ptr<QSettings> m_presetStore;  // null until RestoreSettings: no presets
  QTableView* m_ctlSourceList = nullptr;
  QLineEdit* m_stepEdit = nullptr;
  QLineEdit* m_periodEdit = nullptr;
  QTableView* m_ctlNmeaList = nullptr;
  QCheckBox* m_reorderBox = nullptr;
  QCheckBox* m_extraPointsBox = nullptr;
  // What the source is: a POI file or route file (0), a recorded NMEA log to replay (1) or a CSV
  // file with a header (2), and where a replay's first time goes (empty: its own times).
  QComboBox* m_sourceKind = nullptr;
  // The paths of the file last read, shown when it has several: the one chosen is read next, as
  // long as the source stays that file (m_pathsOf).
  QComboBox* m_pathBox = nullptr;
  QString m_pathsOf;
  QLineEdit* m_replayStartEdit = nullptr;
  TableModel* m_sourceModel = nullptr;
  TableModel* m_nmeaModel = nullptr;

  // The settings' tabs, and beside the controls the map.
  QTabWidget* m_settingsTabs = nullptr;
  QSplitter* m_splitter = nullptr;
  CTrackMap* m_map = nullptr;
  QToolButton* m_fitButton = nullptr;
  QLabel* m_mapStatus = nullptr;
  MapMenu* m_mapMenu = nullptr;  // follow, and the map's tiles
  QCheckBox* m_dateBox = nullptr;
  QDateEdit* m_dateEdit = nullptr;
  QLineEdit* m_gpxEdit = nullptr;  // timed track files beside the track file; empty: none
  QLineEdit* m_kmlEdit = nullptr;
  // Live output: the outputs, each ticked to send to it (any of them at once); the place of the
  // one selected shows in the address edit.
  QListWidget* m_liveOutputs = nullptr;
  QLineEdit* m_liveAddress = nullptr;
  QComboBox* m_serialPorts = nullptr;  // the system's serial ports, put in the address when chosen
  QLineEdit* m_liveToken = nullptr;    // the emulator console's token file; empty: its own
  QLineEdit* m_speedupEdit = nullptr;
  QCheckBox* m_loopBox = nullptr;
  QCheckBox* m_silentPauseBox = nullptr;
  QLineEdit* m_waitClientsEdit = nullptr;  // TCP only
  QLabel* m_waitClientsLabel = nullptr;
  QPushButton* m_liveStart = nullptr;
  QPushButton* m_liveStop = nullptr;
  QPushButton* m_livePause = nullptr;
  QSlider* m_liveSlider = nullptr;                // over a round of the track, 0 to kSliderSteps
  QLabel* m_liveTime = nullptr;                   // where the receiver is, of the round's length
  QAction* m_startFromPoint = nullptr;            // on the source table
  std::shared_ptr<wayloom::Playback> m_playback;  // of the live session running or last run
  bool m_showingPlayback = false;                 // the slider is moved by ShowPlayback
  QLabel* m_liveStatus = nullptr;
  LiveMonitor* m_monitor = nullptr;  // under the map from the first start of live output on
  QSplitter* m_mapSplitter = nullptr;
  std::vector<QWidget*> m_liveSettings;  // what cannot change while live output runs
  QTimer* m_liveTimer = nullptr;
  // Receiver mode and its settings.
  QCheckBox* m_receiverBox = nullptr;
  QCheckBox* m_timedBox = nullptr;  // in the route's recorded times, instead of the speed
  QLineEdit* m_speedEdit = nullptr;
  QLineEdit* m_dwellEdit = nullptr;
  QLineEdit* m_startEdit = nullptr;
  QLineEdit* m_sentencesEdit = nullptr;
  QLineEdit* m_noiseEdit = nullptr;
  QLineEdit* m_seedEdit = nullptr;
  QLineEdit* m_systemsEdit = nullptr;
  QLineEdit* m_maskEdit = nullptr;
  QLineEdit* m_outagesEdit = nullptr;
  QLineEdit* m_nmeaEdit = nullptr;
  QLineEdit* m_almanacEdit = nullptr;
  std::unique_ptr<wayloom::LiveSession> m_live;
  // Route editing: the route, its actions, and the folder its runs are written to.
  RouteEditor* m_routeEditor = nullptr;
  QAction* m_editRouteAction = nullptr;
  QAction* m_addPointAction = nullptr;
  QAction* m_deletePointsAction = nullptr;
  QAction* m_moveUpAction = nullptr;
  QAction* m_moveDownAction = nullptr;
  QAction* m_undoAction = nullptr;
  QAction* m_redoAction = nullptr;
  QAction* m_saveRouteAction = nullptr;
  std::unique_ptr<QTemporaryDir> m_routeRuns;
  int m_routeRunCount = 0;
  // What was typed for each output, as listed: TCP, UDP, pseudo-terminal, serial port, emulator.
  static constexpr int kLiveOutputs = 5;
  QString m_liveAddressText[kLiveOutputs];
  int m_liveTargetShown = 0;
};
