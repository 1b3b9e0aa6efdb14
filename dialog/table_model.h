// Shows one of the engine's tables in a Qt view without copying it: the view asks for the rows,
// cells and column headings it draws, and the model reads them from the table there and then. So a
// table of a million rows costs the view no more than the rows on screen.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <string_view>

#include "motion/table.h"

// The engine changes its tables without telling anyone, so the model can be detached while it
// works: a detached model shows no rows and no columns, whatever the table holds. Attach() shows
// the table as it stands. The window detaches both models for the length of a track and attaches
// them again whenever the event loop runs in between (a message box), so a view never reads a table
// that has changed since it was last told.
class TableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The source table ends with a blank row of the engine's; a view shows no such row.
  enum class Tail { kShowAll, kHideBlankRow };
  explicit TableModel(const wayloom::TableRows& table, QObject* parent = nullptr,
                      Tail tail = Tail::kShowAll);

  void Attach();
  void Detach();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  void SetAttached(bool attached);
  // The rows shown: the table's, but for a blank last row when the tail is hidden.
  std::size_t ShownRows() const;

  const wayloom::TableRows& m_table;
  Tail m_tail;
  bool m_attached = true;
  std::size_t m_rows = 0;  // ShownRows() as the table stood when attached
};

// A text from a file or a table cell as the window shows it: UTF-8 when it is valid UTF-8, else one
// character per byte (Latin-1), so that every byte of a file in an older character set still shows.
QString TextFromBytes(std::string_view bytes);
