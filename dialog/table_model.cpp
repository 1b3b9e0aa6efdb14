#include "dialog/table_model.h"

#include <QStringDecoder>
#include <limits>

namespace {

int ClampToInt(std::size_t count) {
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  return static_cast<int>(count < kMax ? count : kMax);
}

}  // namespace

QString TextFromBytes(std::string_view bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (utf8.hasError()) {
    text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }
  return text;
}

TableModel::TableModel(const wayloom::TableRows& table, QObject* parent, Tail tail)
    : QAbstractTableModel(parent), m_table(table), m_tail(tail), m_rows(ShownRows()) {}

void TableModel::Attach() { SetAttached(true); }

void TableModel::Detach() { SetAttached(false); }

void TableModel::SetAttached(bool attached) {
  // A reset even when nothing changes: attaching is how the views learn about a changed table.
  beginResetModel();
  m_attached = attached;
  m_rows = ShownRows();
  endResetModel();
}

std::size_t TableModel::ShownRows() const {
  const std::size_t rows = m_table.RowCount();
  if (m_tail == Tail::kShowAll || rows == 0) return rows;
  for (std::size_t column = 0; column < m_table.ColumnCount(); ++column) {
    if (!m_table.Cell(rows - 1, column).empty()) return rows;
  }
  return rows - 1;
}

int TableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !m_attached) return 0;
  return ClampToInt(m_rows);
}

int TableModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid() || !m_attached) return 0;
  return ClampToInt(m_table.ColumnCount());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !m_attached || !index.isValid()) return {};
  return TextFromBytes(m_table.Cell(static_cast<std::size_t>(index.row()),
                                    static_cast<std::size_t>(index.column())));
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || !m_attached || section < 0 ||
      static_cast<std::size_t>(section) >= m_table.ColumnCount()) {
    return {};
  }
  switch (role) {
    case Qt::DisplayRole:
      return TextFromBytes(m_table.Column(static_cast<std::size_t>(section)).title);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}
