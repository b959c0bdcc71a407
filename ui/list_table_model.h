#ifndef TERVANE_UI_LIST_TABLE_MODEL_H_
#define TERVANE_UI_LIST_TABLE_MODEL_H_

#include <QAbstractTableModel>

#include "store/query_text.h"

namespace tervane {

class RecordCursor;

// The white or black list as a read-only table ("Mail Address", "Name") over one of the
// settings window's list cursors. Rows are read from the cursor as the view scrolls to them
// (canFetchMore / fetchMore), so opening a list of 100,000 rows reads only the first screens.
// REQUIRES: the cursor outlives the model.
class ListTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kMailColumn = 0, kNameColumn = 1, kColumnCount = 2 };
  // Rows read from the cursor at a time.
  static constexpr int kFetchBatch = 256;

  ListTableModel(RecordCursor& cursor, QueryText query, QObject* parent = nullptr);

  // Runs the list's query again on the cursor and shows the result from its first row.
  // Throws DatabaseError; the model is then empty.
  void Reload();
  // Shows the cursor's rows as they are after an append or delete on it, without a new query.
  void Resync();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  RecordCursor& cursor_;
  const QueryText query_;
  int rows_ = 0;  // rows shown: those read from the cursor when the view last heard of them
};

}  // namespace tervane

#endif  // TERVANE_UI_LIST_TABLE_MODEL_H_
