#include "dialog/route_editor.h"

#include <QUndoCommand>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include "base/number_text.h"
#include "dialog/table_model.h"
#include "sources/reading.h"

using wayloom::RouteFilePoint;

namespace {

// One step of the history: what redo and undo do.
class Step : public QUndoCommand {
 public:
  Step(const QString& text, std::function<void()> redo, std::function<void()> undo)
      : QUndoCommand(text), m_redo(std::move(redo)), m_undo(std::move(undo)) {}
  void redo() override { m_redo(); }
  void undo() override { m_undo(); }

 private:
  std::function<void()> m_redo, m_undo;
};

const char* const kTitles[RouteEditor::kColumns] = {"Latitude",    "Longitude",   "Name",
                                                    "Description", "Speed (m/s)", "Dwell (s)"};

// A number as the table shows it: up to decimals places, no trailing zeros; empty for none.
std::string NumberText(double value, int decimals) {
  if (std::isnan(value)) return {};
  std::string text = wayloom::FormatFixed(value, decimals);
  while (text.find('.') != std::string::npos && (text.back() == '0' || text.back() == '.')) {
    text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

// The number a coordinate's text stands for: NaN when it is none.
double Degrees(const std::string& text) {
  double value = 0.0;
  if (!wayloom::source_reading::ParseNumber(wayloom::source_reading::Trim(text), value)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return value;
}

}  // namespace

RouteEditor::RouteEditor(QObject* parent) : QAbstractTableModel(parent) {}

void RouteEditor::Start(std::vector<RouteFilePoint> points) {
  beginResetModel();
  m_history.clear();
  m_points = std::move(points);
  endResetModel();
  emit RouteChanged();
}

void RouteEditor::Insert(int row, const RouteFilePoint& point) {
  beginInsertRows({}, row, row);
  m_points.insert(m_points.begin() + row, point);
  endInsertRows();
  emit RouteChanged();
}

RouteFilePoint RouteEditor::Erase(int row) {
  beginRemoveRows({}, row, row);
  RouteFilePoint point = std::move(m_points[static_cast<std::size_t>(row)]);
  m_points.erase(m_points.begin() + row);
  endRemoveRows();
  emit RouteChanged();
  return point;
}

void RouteEditor::SwapWithNext(int row) {
  beginMoveRows({}, row + 1, row + 1, {}, row);
  std::swap(m_points[static_cast<std::size_t>(row)], m_points[static_cast<std::size_t>(row) + 1]);
  endMoveRows();
  emit RouteChanged();
}

void RouteEditor::Replace(int row, const RouteFilePoint& point) {
  m_points[static_cast<std::size_t>(row)] = point;
  emit dataChanged(index(row, 0), index(row, kColumns - 1));
  emit RouteChanged();
}

void RouteEditor::PushReplace(const QString& text, int row, const RouteFilePoint& after) {
  const RouteFilePoint before = m_points[static_cast<std::size_t>(row)];
  m_history.push(new Step(
      text, [this, row, after] { Replace(row, after); },
      [this, row, before] { Replace(row, before); }));
}

QString RouteEditor::PlaceProblem(double latitude, double longitude) const {
  if (std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0) return {};
  return QStringLiteral("A point at latitude %1, longitude %2 lies off the Earth.")
      .arg(latitude)
      .arg(longitude);
}

void RouteEditor::AddPoint(double latitude, double longitude) {
  const QString problem = PlaceProblem(latitude, longitude);
  if (!problem.isEmpty()) {
    emit Refused(problem);
    return;
  }
  RouteFilePoint point;
  point.latitude = NumberText(latitude, 6);
  point.longitude = NumberText(longitude, 6);
  const int row = rowCount();
  m_history.push(new Step(
      QStringLiteral("Add point"), [this, row, point] { Insert(row, point); },
      [this, row] { Erase(row); }));
}

void RouteEditor::MovePoint(int index, double latitude, double longitude) {
  QString problem = PlaceProblem(latitude, longitude);
  if (index < 0 || index >= rowCount()) {
    problem = QStringLiteral("The route has no point %1.").arg(index + 1);
  }
  if (!problem.isEmpty()) {
    emit Refused(problem);
    return;
  }
  RouteFilePoint point = m_points[static_cast<std::size_t>(index)];
  point.latitude = NumberText(latitude, 6);
  point.longitude = NumberText(longitude, 6);
  PushReplace(QStringLiteral("Move point"), index, point);
}

void RouteEditor::InsertAfter(int row) {
  row = std::clamp(row, -1, rowCount() - 1);
  RouteFilePoint point;
  point.latitude = point.longitude = "0";
  if (row >= 0) {
    const RouteFilePoint& here = m_points[static_cast<std::size_t>(row)];
    const RouteFilePoint& next =
        row + 1 < rowCount() ? m_points[static_cast<std::size_t>(row) + 1] : here;
    const double latitude = (Degrees(here.latitude) + Degrees(next.latitude)) / 2.0;
    const double longitude = (Degrees(here.longitude) + Degrees(next.longitude)) / 2.0;
    // Halfway between two points is on the Earth; a text that is no number gives a copy.
    point.latitude = std::isnan(latitude) ? here.latitude : NumberText(latitude, 6);
    point.longitude = std::isnan(longitude) ? here.longitude : NumberText(longitude, 6);
  }
  m_history.push(new Step(
      QStringLiteral("Add point"), [this, row, point] { Insert(row + 1, point); },
      [this, row] { Erase(row + 1); }));
}

void RouteEditor::DeleteRows(QList<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(),
                            [this](int row) { return row < 0 || row >= rowCount(); }),
             rows.end());
  if (rows.isEmpty()) return;
  std::vector<RouteFilePoint> deleted;
  for (const int row : rows) deleted.push_back(m_points[static_cast<std::size_t>(row)]);
  // Deleted from the last up, put back from the first down: every row stays where it was.
  m_history.push(new Step(
      rows.size() == 1 ? QStringLiteral("Delete point")
                       : QStringLiteral("Delete %1 points").arg(rows.size()),
      [this, rows] {
        for (auto row = rows.crbegin(); row != rows.crend(); ++row) Erase(*row);
      },
      [this, rows, deleted] {
        for (qsizetype i = 0; i < rows.size(); ++i) {
          Insert(rows[i], deleted[static_cast<std::size_t>(i)]);
        }
      }));
}

bool RouteEditor::MoveRow(int row, int by) {
  const int upper = by < 0 ? row - 1 : row;
  if (row < 0 || row >= rowCount() || upper < 0 || upper + 1 >= rowCount()) return false;
  m_history.push(new Step(
      by < 0 ? QStringLiteral("Move point up") : QStringLiteral("Move point down"),
      [this, upper] { SwapWithNext(upper); }, [this, upper] { SwapWithNext(upper); }));
  return true;
}

QString RouteEditor::EditCell(int row, int column, const QString& text) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns) return {};
  RouteFilePoint point = m_points[static_cast<std::size_t>(row)];
  const std::string typed(wayloom::source_reading::Trim(text.toStdString()));
  const QString field = QStringLiteral("Point %1: '%2'").arg(row + 1).arg(kTitles[column]);
  const double value = Degrees(typed);
  switch (column) {
    case kLatitude:
    case kLongitude: {
      const double limit = column == kLatitude ? 90.0 : 180.0;
      if (!(std::fabs(value) <= limit)) {
        return field + QStringLiteral(" takes decimal degrees from %1 to %2, not '%3'.")
                           .arg(-limit)
                           .arg(limit)
                           .arg(text);
      }
      (column == kLatitude ? point.latitude : point.longitude) = typed;
      break;
    }
    case kName:
      point.name = text.toStdString();
      break;
    case kDescription:
      point.description = text.toStdString();
      break;
    default:
      if (!typed.empty() && !(value >= 0.0)) {
        return field +
               QStringLiteral(" takes a number from 0, or nothing for none, not '%1'.").arg(text);
      }
      (column == kSpeed ? point.speedMetresPerSecond : point.dwellSeconds) =
          typed.empty() ? std::numeric_limits<double>::quiet_NaN() : value;
  }
  PushReplace(QStringLiteral("Edit %1").arg(kTitles[column]), row, point);
  return {};
}

int RouteEditor::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_points.size());
}

int RouteEditor::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant RouteEditor::data(const QModelIndex& index, int role) const {
  if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid()) return {};
  const RouteFilePoint& point = m_points[static_cast<std::size_t>(index.row())];
  switch (index.column()) {
    case kLatitude:
      return TextFromBytes(point.latitude);
    case kLongitude:
      return TextFromBytes(point.longitude);
    case kName:
      return TextFromBytes(point.name);
    case kDescription:
      return TextFromBytes(point.description);
    case kSpeed:
      return QString::fromStdString(NumberText(point.speedMetresPerSecond, 3));
    default:
      return QString::fromStdString(NumberText(point.dwellSeconds, 3));
  }
}

QVariant RouteEditor::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kTitles[section]);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags RouteEditor::flags(const QModelIndex& index) const {
  return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

bool RouteEditor::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  // An edit that leaves the cell as it was is no step.
  if (data(index, Qt::EditRole) == value) return true;
  const QString problem = EditCell(index.row(), index.column(), value.toString());
  if (problem.isEmpty()) return true;
  emit Refused(problem);
  return false;
}
