// The route being edited in the window: its points, each change an undoable step on Qt's undo
// stack, and the table the source view shows while the route is edited (one row a point, the
// cells editable). The map changes it through the same steps (AddPoint, MovePoint), so a click
// on the map is undone like a row typed in the table.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QUndoStack>
#include <vector>

#include "sources/route_writer.h"

class RouteEditor : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kLatitude, kLongitude, kName, kDescription, kSpeed, kDwell, kColumns };

  explicit RouteEditor(QObject* parent = nullptr);

  // Starts over with points, the undo history emptied.
  void Start(std::vector<wayloom::RouteFilePoint> points);
  const std::vector<wayloom::RouteFilePoint>& Points() const { return m_points; }
  QUndoStack& History() { return m_history; }

  // A new point after row (-1: before the first), halfway to the next point, or on the row's
  // point when it is the last; at 0, 0 in an empty route.
  void InsertAfter(int row);
  // Deletes the rows (in any order, each once).
  void DeleteRows(QList<int> rows);
  // Swaps row with the row above (by -1) or below (by 1); false when there is none.
  bool MoveRow(int row, int by);
  // Sets a cell from its text: empty when done, otherwise why not, with the route unchanged.
  // Coordinates are decimal degrees on the Earth; speed (m/s) and dwell (s) are numbers from 0,
  // or empty for none.
  QString EditCell(int row, int column, const QString& text);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Refuses a text EditCell refuses, saying why through Refused.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 public slots:
  // For the map: a click adds a point at the end of the route, a drag moves point index. A place
  // off the Earth, or an index the route has not, is refused through Refused.
  void AddPoint(double latitude, double longitude);
  void MovePoint(int index, double latitude, double longitude);

 signals:
  void Refused(const QString& message);
  // After every change, done, undone or redone.
  void RouteChanged();

 private:
  // The changes the steps are made of, each told to the views.
  void Insert(int row, const wayloom::RouteFilePoint& point);
  wayloom::RouteFilePoint Erase(int row);
  void SwapWithNext(int row);
  void Replace(int row, const wayloom::RouteFilePoint& point);
  // A step that sets row to after (before it stood as before).
  void PushReplace(const QString& text, int row, const wayloom::RouteFilePoint& after);
  QString PlaceProblem(double latitude, double longitude) const;

  std::vector<wayloom::RouteFilePoint> m_points;
  QUndoStack m_history;
};
