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

TableModel::TableModel(QObject* parent, Tail tail) : QAbstractTableModel(parent), m_tail(tail) {}

void TableModel::Show(const wayloom::TableRows* table) {
  // A reset even when the table is the same: giving it again is how the views learn it changed.
  beginResetModel();
  m_table = table;
  m_rows = ShownRows();
  endResetModel();
}

std::size_t TableModel::ShownRows() const {
  if (!m_table) return 0;
  const std::size_t rows = m_table->RowCount();
  if (m_tail == Tail::kShowAll || rows == 0) return rows;
  for (std::size_t column = 0; column < m_table->ColumnCount(); ++column) {
    if (!m_table->Cell(rows - 1, column).empty()) return rows;
  }
  return rows - 1;
}

int TableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !m_table) return 0;
  return ClampToInt(m_rows);
}

int TableModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid() || !m_table) return 0;
  return ClampToInt(m_table->ColumnCount());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !m_table || !index.isValid()) return {};
  return TextFromBytes(m_table->Cell(static_cast<std::size_t>(index.row()),
                                     static_cast<std::size_t>(index.column())));
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || !m_table || section < 0 ||
      static_cast<std::size_t>(section) >= m_table->ColumnCount()) {
    return {};
  }
  switch (role) {
    case Qt::DisplayRole:
      return TextFromBytes(m_table->Column(static_cast<std::size_t>(section)).title);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}
