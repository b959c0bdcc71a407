#include "ui/list_table_model.h"

#include "store/database_error.h"
#include "store/record_cursor.h"

namespace tervane {

ListTableModel::ListTableModel(RecordCursor& cursor, QueryText query, QObject* parent)
    : QAbstractTableModel(parent), cursor_(cursor), query_(query) {}

void ListTableModel::Reload() {
  beginResetModel();
  rows_ = 0;
  try {
    cursor_.Query(query_);
    rows_ = cursor_.FetchedCount();
  } catch (const DatabaseError&) {
    endResetModel();
    throw;
  }
  endResetModel();
}

void ListTableModel::Resync() {
  beginResetModel();
  rows_ = cursor_.Active() ? cursor_.FetchedCount() : 0;
  endResetModel();
}

int ListTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
  // The cursor may have been closed under the view (the database closes at a detach); the rows
  // then read as empty until the next Reload.
  if (role != Qt::DisplayRole || !index.isValid() || !cursor_.Active() ||
      index.row() >= cursor_.FetchedCount()) {
    return {};
  }
  const char* field = index.column() == kMailColumn ? "mail" : "name";
  try {
    return QString::fromStdString(cursor_.StringAt(index.row(), field));
  } catch (const DatabaseError&) {
    return {};
  }
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return {};
  }
  return section == kMailColumn ? QStringLiteral("Mail Address") : QStringLiteral("Name");
}

bool ListTableModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && cursor_.Active() && cursor_.CanFetchMore();
}

void ListTableModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) {
    return;
  }
  // The view calls this from its own event handling, where an exception must not escape; a
  // read that fails leaves the list as far as it got.
  try {
    cursor_.FetchMore(kFetchBatch);
  } catch (const DatabaseError&) {
    return;
  }
  const int fetched = cursor_.FetchedCount();
  if (fetched > rows_) {
    beginInsertRows(QModelIndex(), rows_, fetched - 1);
    rows_ = fetched;
    endInsertRows();
  }
}

}  // namespace tervane
