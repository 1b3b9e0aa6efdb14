// The window's route editing: "Edit route" turns the source table into the route being edited,
// from the points of the source file; its context menu adds, deletes and moves points, the
// history undoes and redoes every step, and "Save route as..." writes the route as a POI file, a
// CSV file with a header or a GPX route. While a route is edited, Create NMEA Track and live
// output run on it as it stands, unsaved.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSaveFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <string>
#include <utility>
#include <vector>

#include "base/number_text.h"
#include "dialog/route_editor.h"
#include "dialog/table_model.h"
#include "dialog/track_dlg.h"
#include "dialog/track_map.h"
#include "dialog/window_words.h"
#include "sources/route_writer.h"

namespace {

std::string PathSetting(const QString& text) { return QFile::encodeName(text).toStdString(); }

struct RouteKind {
  const char* filter;
  const char* name;
  wayloom::RouteFileKind kind;
};
const RouteKind kRouteKinds[] = {
    {"POI file (*.csv *.txt)", "A POI file", wayloom::RouteFileKind::kPoiFile},
    {"CSV with a header (*.csv)", "A CSV file", wayloom::RouteFileKind::kCsv},
    {"GPX (*.gpx)", "A GPX route", wayloom::RouteFileKind::kGpx}};

// "speeds", "speeds and dwells", "elevations, speeds and dwells".
std::string Listed(const std::vector<std::string>& details) {
  std::string text;
  for (std::size_t i = 0; i < details.size(); ++i) {
    if (i > 0) text += i + 1 == details.size() ? " and " : ", ";
    text += details[i];
  }
  return text;
}

void AddSeparator(QWidget* menuOwner) {
  auto* separator = new QAction(menuOwner);
  separator->setSeparator(true);
  menuOwner->addAction(separator);
}

}  // namespace

QLayout* CTrackDlg::BuildRouteBar(QWidget* parent) {
  m_routeEditor = new RouteEditor(this);
  const auto made = [this](const char* name, const QString& text, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
    m_ctlSourceList->addAction(action);
    return action;
  };
  m_editRouteAction = made("editRouteAction", QStringLiteral("&Edit route"), {});
  m_editRouteAction->setCheckable(true);
  m_editRouteAction->setToolTip(
      QStringLiteral("Edit the route in this table, from the points of the source file; Create "
                     "NMEA Track and live output run the route as it stands"));
  AddSeparator(m_ctlSourceList);
  m_addPointAction = made("addPointAction", QStringLiteral("&Add point"), Qt::Key_Insert);
  m_deletePointsAction = made("deletePointsAction", QStringLiteral("&Delete"), Qt::Key_Delete);
  m_moveUpAction = made("moveUpAction", QStringLiteral("Move u&p"), Qt::CTRL | Qt::Key_Up);
  m_moveDownAction = made("moveDownAction", QStringLiteral("Move dow&n"), Qt::CTRL | Qt::Key_Down);
  AddSeparator(m_ctlSourceList);
  m_undoAction = made("undoAction", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
  m_redoAction =
      made("redoAction", QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  // The keys of the others act where the table has the focus; Undo and Redo anywhere in the
  // window but in an edit, which undoes its own typing.
  m_undoAction->setShortcutContext(Qt::WindowShortcut);
  m_redoAction->setShortcutContext(Qt::WindowShortcut);
  m_saveRouteAction = made("saveRouteAction", QStringLiteral("&Save route as..."), {});
  m_ctlSourceList->setContextMenuPolicy(Qt::ActionsContextMenu);

  // The bar beside the table's label, for the mouse; the keyboard has the table's context menu.
  auto* bar = new QHBoxLayout;
  bar->setSpacing(2);
  for (QAction* action : {m_editRouteAction, m_undoAction, m_redoAction, m_saveRouteAction}) {
    auto* button = new QToolButton(parent);
    button->setObjectName(
        action->objectName().replace(QStringLiteral("Action"), QStringLiteral("Button")));
    button->setDefaultAction(action);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    bar->addWidget(button);
  }

  QUndoStack& history = m_routeEditor->History();
  const auto enable = [this, &history] {
    const bool editing = RouteEditing();
    for (QAction* action :
         {m_addPointAction, m_deletePointsAction, m_moveUpAction, m_moveDownAction}) {
      action->setEnabled(editing);
    }
    m_saveRouteAction->setEnabled(editing);
    m_undoAction->setEnabled(editing && history.canUndo());
    m_redoAction->setEnabled(editing && history.canRedo());
    m_undoAction->setToolTip(QStringLiteral("Undo ") + history.undoText());
    m_redoAction->setToolTip(QStringLiteral("Redo ") + history.redoText());
  };
  enable();
  connect(&history, &QUndoStack::indexChanged, this, enable);
  connect(m_editRouteAction, &QAction::toggled, this, &CTrackDlg::OnEditRoute);
  connect(m_editRouteAction, &QAction::toggled, this, enable);
  connect(m_undoAction, &QAction::triggered, &history, &QUndoStack::undo);
  connect(m_redoAction, &QAction::triggered, &history, &QUndoStack::redo);
  connect(m_addPointAction, &QAction::triggered, this, [this] {
    const int row = m_ctlSourceList->currentIndex().isValid()
                        ? m_ctlSourceList->currentIndex().row()
                        : m_routeEditor->rowCount() - 1;
    m_routeEditor->InsertAfter(row);
    m_ctlSourceList->setCurrentIndex(m_routeEditor->index(row + 1, 0));
  });
  connect(m_deletePointsAction, &QAction::triggered, this, &CTrackDlg::DeleteRoutePoints);
  connect(m_moveUpAction, &QAction::triggered, this, [this] { MoveRoutePoint(-1); });
  connect(m_moveDownAction, &QAction::triggered, this, [this] { MoveRoutePoint(1); });
  connect(m_saveRouteAction, &QAction::triggered, this, &CTrackDlg::OnSaveRoute);
  connect(m_routeEditor, &RouteEditor::Refused, this,
          [this](const QString& message) { m_prompter.ShowMessage(message.toStdString()); });
  return bar;
}

bool CTrackDlg::RouteEditing() const { return m_editRouteAction->isChecked(); }

// While a route is edited the map draws it, and its clicks and drags add and move its points,
// each an undoable step like the table's.
void CTrackDlg::ConnectRouteMap() {
  const auto show = [this](bool editing) {
    std::vector<WorldPoint> places;
    for (const wayloom::RouteFilePoint& point : m_routeEditor->Points()) {
      places.push_back(ProjectToWorld(wayloom::ParseDecimal(point.latitude),
                                      wayloom::ParseDecimal(point.longitude)));
    }
    m_map->SetEditedRoute(editing, std::move(places));
  };
  connect(this, &CTrackDlg::RouteEditingChanged, this, show);
  connect(m_routeEditor, &RouteEditor::RouteChanged, this, [this, show] { show(RouteEditing()); });
  connect(m_map, &CTrackMap::PlaceClicked, m_routeEditor, &RouteEditor::AddPoint);
  connect(m_map, &CTrackMap::PlaceDragged, this,
          [this](std::size_t index, double latitude, double longitude) {
            m_routeEditor->MovePoint(static_cast<int>(index), latitude, longitude);
          });
}

void CTrackDlg::ConnectSourceSelection() {
  connect(m_ctlSourceList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) m_map->SelectPoint(static_cast<std::size_t>(current.row()));
          });
}

void CTrackDlg::OnEditRoute(bool editing) {
  const auto keep = [this](bool checked) {
    const QSignalBlocker blocker(m_editRouteAction);
    m_editRouteAction->setChecked(checked);
  };
  if (editing && !StartRoute()) return keep(false);
  if (!editing && !m_routeEditor->History().isClean() &&
      !m_prompter.AskYesNo("The route edited is not saved.\nStop editing it and drop the changes? "
                           "(No goes on editing.)")) {
    return keep(true);
  }
  if (!editing) m_routeEditor->Start({});
  QItemSelectionModel* old = m_ctlSourceList->selectionModel();
  m_ctlSourceList->setModel(editing ? static_cast<QAbstractItemModel*>(m_routeEditor)
                                    : static_cast<QAbstractItemModel*>(m_sourceModel));
  delete old;
  ConnectSourceSelection();
  m_ctlSourceList->setEditTriggers(editing ? QAbstractItemView::DoubleClicked |
                                                 QAbstractItemView::EditKeyPressed |
                                                 QAbstractItemView::AnyKeyPressed
                                           : QAbstractItemView::NoEditTriggers);
  m_ctlSourceList->setSelectionMode(editing ? QAbstractItemView::ExtendedSelection
                                            : QAbstractItemView::SingleSelection);
  for (int column = 0; editing && column < RouteEditor::kColumns; ++column) {
    m_ctlSourceList->horizontalHeader()->resizeSection(
        column,
        ColumnWidth(m_routeEditor->headerData(column, Qt::Horizontal).toString().toStdString()));
  }
  emit RouteEditingChanged(editing);
  if (!editing && m_sourceModel->Shown())
    ApplyColumnWidths(m_ctlSourceList, *m_sourceModel->Shown());
}

// The points of the source file as the window reads it (its kind and path), or none when no
// file is given: a route made from nothing.
bool CTrackDlg::StartRoute() {
  const QString source = m_sourceEdit->text().trimmed();
  if (source.isEmpty()) {
    m_routeEditor->Start({});
    return true;
  }
  if (m_sourceKind->currentIndex() == 1) {
    m_prompter.ShowMessage(
        "An NMEA log is replayed as it was recorded, not edited as a route: set 'Source kind' to "
        "'POI file' or 'CSV with a header'.");
    return false;
  }
  wayloom::SourceOptions options;
  if (m_sourceKind->currentIndex() == 2) options.kind = wayloom::SourceKind::kCsv;
  if (m_pathBox->count() > 1 && m_sourceEdit->text() == m_pathsOf) {
    options.path = std::to_string(m_pathBox->currentIndex() + 1);
  }
  const std::string path = PathSetting(source);
  wayloom::PoiList list;
  wayloom::SourceRead read;
  switch (wayloom::ReadSource(path, options, list, read)) {
    case wayloom::SourceStatus::kOk:
      m_routeEditor->Start(wayloom::RouteFilePoints(list, read.details));
      return true;
    case wayloom::SourceStatus::kRefused:
      m_prompter.ShowMessage(read.message);
      return false;
    case wayloom::SourceStatus::kCannotOpen:
      m_prompter.ShowMessage(WindowMessage("Error can't open the input file\n" + path, read.error));
      return false;
    default:
      m_prompter.ShowMessage(WindowMessage("Error reading the input file\n" + path, read.error));
      return false;
  }
}

void CTrackDlg::DeleteRoutePoints() {
  QList<int> rows;
  for (const QModelIndex& index : m_ctlSourceList->selectionModel()->selectedIndexes()) {
    rows << index.row();
  }
  const QModelIndex current = m_ctlSourceList->currentIndex();
  if (rows.isEmpty() && current.isValid()) rows << current.row();
  m_routeEditor->DeleteRows(rows);
}

void CTrackDlg::MoveRoutePoint(int by) {
  const QModelIndex current = m_ctlSourceList->currentIndex();
  if (!current.isValid() || !m_routeEditor->MoveRow(current.row(), by)) return;
  m_ctlSourceList->setCurrentIndex(m_routeEditor->index(current.row() + by, current.column()));
}

bool CTrackDlg::RunSource(wayloom::JobSettings& settings) {
  if (!RouteEditing()) {
    settings.source = Engine().m_strSourceFile;
    return true;
  }
  if (settings.replay) {
    m_prompter.ShowMessage(
        "The route edited runs as a route, not as an NMEA log: set 'Source kind' to 'POI file' or "
        "'CSV with a header'.");
    return false;
  }
  // The job reads its route from a file: the route as it stands is written to a CSV file with a
  // header of its own (the source's name in a folder of its own, so that a timed track file is
  // named as the source's would be), and a live output still reading the last one keeps it.
  const wayloom::RouteFileText file =
      wayloom::MakeRouteFile(m_routeEditor->Points(), wayloom::RouteFileKind::kCsv, {});
  if (!file.problem.empty()) {
    m_prompter.ShowMessage("The route edited cannot run: " + file.problem + ".");
    return false;
  }
  if (!m_routeRuns) m_routeRuns = std::make_unique<QTemporaryDir>();
  const QString folder = m_routeRuns->filePath(QString::number(++m_routeRunCount));
  QString name = QFileInfo(m_sourceEdit->text().trimmed()).completeBaseName();
  if (name.isEmpty()) name = QStringLiteral("route");
  QSaveFile out(QDir(folder).filePath(name + QStringLiteral(".csv")));
  if (!m_routeRuns->isValid() || !QDir().mkpath(folder) || !out.open(QIODevice::WriteOnly) ||
      out.write(file.text.data(), static_cast<qint64>(file.text.size())) !=
          static_cast<qint64>(file.text.size()) ||
      !out.commit()) {
    m_prompter.ShowMessage("The route edited could not be written to a temporary file to run:\n" +
                           out.errorString().toStdString());
    return false;
  }
  settings.source = PathSetting(out.fileName());
  settings.sourceAsCsv = true;
  settings.sourcePath.clear();
  return true;
}

void CTrackDlg::OnSaveRoute() {
  if (!RouteEditing()) return;
  QStringList filters;
  for (const RouteKind& kind : kRouteKinds) filters << QString::fromLatin1(kind.filter);
  QString chosen;
  const QString folder = QFileInfo(m_sourceEdit->text().trimmed()).absolutePath();
  const QString path =
      m_picker.PickSaveFile(this, QStringLiteral("Save route as"),
                            QDir(folder).exists() ? folder : QDir::homePath(), filters, chosen);
  if (path.isEmpty()) return;
  const RouteKind& kind = kRouteKinds[std::max<qsizetype>(0, filters.indexOf(chosen))];
  const wayloom::RouteFileText file = wayloom::MakeRouteFile(
      m_routeEditor->Points(), kind.kind, QFileInfo(path).completeBaseName().toStdString());
  if (!file.problem.empty()) {
    m_prompter.ShowMessage(std::string(kind.name) + " cannot hold the route: " + file.problem +
                           ".\nNothing was saved.");
    return;
  }
  if (!file.leftOut.empty() &&
      !m_prompter.AskYesNo(std::string(kind.name) + " cannot hold the points' " +
                           Listed(file.leftOut) + ".\nSave the route without them?")) {
    return;
  }
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly) ||
      out.write(file.text.data(), static_cast<qint64>(file.text.size())) !=
          static_cast<qint64>(file.text.size()) ||
      !out.commit()) {
    m_prompter.ShowMessage("Error writing the route file\n" + PathSetting(path) + "\n" +
                           out.errorString().toStdString() + "\nThe file is as it was.");
    return;
  }
  m_routeEditor->History().setClean();
}
