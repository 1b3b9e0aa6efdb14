// Shows a table in a Qt view without copying it: the view asks for the rows, cells and column
// headings it draws, and the model reads them from the table there and then. So a table of a
// million rows costs the view no more than the rows on screen.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <string_view>

#include "motion/table.h"

// The model shows the table it was last given, as that table stood then: whoever gives it one
// keeps it unchanged while it is shown, or gives it again (or none) once it has changed. Without
// a table it shows no rows and no columns.
class TableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The source table ends with a blank row of the engine's; a view shows no such row.
  enum class Tail { kShowAll, kHideBlankRow };
  explicit TableModel(QObject* parent = nullptr, Tail tail = Tail::kShowAll);

  // Shows table (null: none), which must outlive its showing.
  void Show(const wayloom::TableRows* table);
  const wayloom::TableRows* Shown() const { return m_table; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  // The rows shown: the table's, but for a blank last row when the tail is hidden.
  std::size_t ShownRows() const;

  const wayloom::TableRows* m_table = nullptr;
  Tail m_tail;
  std::size_t m_rows = 0;  // ShownRows() as the table stood when given
};

// A text from a file or a table cell as the window shows it: UTF-8 when it is valid UTF-8, else one
// character per byte (Latin-1), so that every byte of a file in an older character set still shows.
QString TextFromBytes(std::string_view bytes);
