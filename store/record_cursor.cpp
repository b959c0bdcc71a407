#include "store/record_cursor.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>
#include <vector>

#include "store/connection_core.h"
#include "store/database_error.h"
#include "store/field_value.h"
#include "store/query_sql.h"

namespace tervane {
namespace {

// Rows read by Open and by each step past the rows read so far.
constexpr int kPageRows = 64;

struct Row {
  int64_t id = 0;  // the row identity (rowid)
  std::vector<FieldValue> values;
};

enum class EditState { kBrowse, kInsert, kEdit };

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

struct RecordCursor::Impl {
  std::string name;
  ConnectionCore* connection = nullptr;

  bool hasQuery = false;
  QueryText query = QueryText::kMisc;
  std::string address;

  bool active = false;
  int64_t openCount = 0;
  std::shared_ptr<const std::vector<std::string>> fields;
  std::vector<Row> rows;
  int current = -1;
  bool eof = true;
  int64_t nextId = std::numeric_limits<int64_t>::min();  // first row identity not yet read
  bool exhausted = true;

  EditState state = EditState::kBrowse;
  std::vector<FieldValue> buffer;
  std::vector<bool> changed;

  [[noreturn]] void Fail(std::string_view message) const {
    throw DatabaseError(name + ": " + std::string(message));
  }
  void RequireActive() const {
    if (!active)
      Fail("Cannot perform this operation on a closed dataset");
  }
  size_t FieldIndex(std::string_view field) const {
    RequireActive();
    for (size_t i = 0; i < fields->size(); ++i) {
      if (SameName((*fields)[i], field))
        return i;
    }
    Fail("Field '" + std::string(field) + "' not found");
  }
  sqlite3* Db() const { return connection->db.get(); }

  // Reads up to maxRows more rows of the result; returns how many came.
  int FetchPage(int maxRows) {
    if (exhausted || maxRows <= 0)
      return 0;
    sqlite3_stmt* statement = connection->PageStatement(query, name);
    sqlcipher::ScopedReset reset(statement);
    sqlite3_bind_int64(statement, 1, nextId);
    sqlite3_bind_int(statement, 2, maxRows);
    if (SqlFor(query).lookup) {
      sqlite3_bind_text(statement, 3, address.data(), static_cast<int>(address.size()),
                        SQLITE_STATIC);
    }
    const int columns = sqlite3_column_count(statement);
    int added = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      Row row;
      row.id = sqlite3_column_int64(statement, 0);
      row.values.reserve(static_cast<size_t>(columns - 1));
      for (int i = 1; i < columns; ++i)
        row.values.push_back(ReadColumn(statement, i));
      rows.push_back(std::move(row));
      ++added;
    }
    if (rc != SQLITE_DONE)
      Fail(sqlcipher::ErrorMessage(Db()));
    if (added > 0) {
      const int64_t last = rows.back().id;
      if (last == std::numeric_limits<int64_t>::max())
        exhausted = true;
      nextId = last + (exhausted ? 0 : 1);
    }
    if (added < maxRows)
      exhausted = true;
    return added;
  }

  // Returns true iff row index exists, reading further pages as needed.
  bool EnsureRow(int index) {
    while (static_cast<int>(rows.size()) <= index && !exhausted)
      FetchPage(kPageRows);
    return index >= 0 && index < static_cast<int>(rows.size());
  }

  void FetchAll() {
    while (!exhausted)
      FetchPage(std::numeric_limits<int>::max());
  }

  // The values the typed accessors read: the row being edited, else the current row, else none.
  const std::vector<FieldValue>* Values() const {
    RequireActive();
    if (state != EditState::kBrowse)
      return &buffer;
    if (current < 0)
      return nullptr;
    return &rows[static_cast<size_t>(current)].values;
  }

  const FieldValue& Value(std::string_view field) const {
    static const FieldValue kNull;
    const size_t index = FieldIndex(field);
    const auto* values = Values();
    return values != nullptr ? (*values)[index] : kNull;
  }

  void SetField(std::string_view field, FieldValue value) {
    const size_t index = FieldIndex(field);
    if (state == EditState::kBrowse)
      Fail("Dataset not in edit or insert mode");
    buffer[index] = std::move(value);
    changed[index] = true;
  }

  // Runs a write statement with the changed fields bound as ?1.. and rowId (if any) last.
  void RunWrite(const std::string& sql, const std::vector<size_t>& columns,
                std::optional<int64_t> rowId) {
    sqlite3_stmt* statement = connection->Statement(sql, name);
    sqlcipher::ScopedReset reset(statement);
    int parameter = 1;
    for (size_t column : columns)
      BindValue(statement, parameter++, buffer[column]);
    if (rowId)
      sqlite3_bind_int64(statement, parameter, *rowId);
    if (sqlite3_step(statement) != SQLITE_DONE)
      Fail(sqlcipher::ErrorMessage(Db()));
  }

  // Reads one row of the query's table by its identity, or nullopt when it is gone.
  std::optional<Row> ReadRow(int64_t id) {
    sqlite3_stmt* statement = connection->Statement(RowSql(SqlFor(query).table), name);
    sqlcipher::ScopedReset reset(statement);
    sqlite3_bind_int64(statement, 1, id);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE)
      return std::nullopt;
    if (rc != SQLITE_ROW)
      Fail(sqlcipher::ErrorMessage(Db()));
    Row row{id, {}};
    for (int i = 1; i < sqlite3_column_count(statement); ++i) {
      row.values.push_back(ReadColumn(statement, i));
    }
    return row;
  }

  void Post() {
    std::vector<size_t> columns;
    std::vector<std::string> names;
    for (size_t i = 0; i < changed.size(); ++i) {
      if (changed[i]) {
        columns.push_back(i);
        names.push_back((*fields)[i]);
      }
    }
    const std::string_view table = SqlFor(query).table;
    if (state == EditState::kInsert) {
      // The new row goes after every row of the result, so read the rest first.
      FetchAll();
      RunWrite(InsertSql(table, names), columns, std::nullopt);
      const int64_t id = sqlite3_last_insert_rowid(Db());
      std::optional<Row> row = ReadRow(id);
      rows.push_back(row ? std::move(*row) : Row{id, buffer});
      current = static_cast<int>(rows.size()) - 1;
      eof = false;
    } else if (!columns.empty()) {
      Row& row = rows[static_cast<size_t>(current)];
      RunWrite(UpdateSql(table, names), columns, row.id);
      std::optional<Row> fresh = ReadRow(row.id);
      row.values = fresh ? std::move(fresh->values) : buffer;
    }
    state = EditState::kBrowse;
    buffer.clear();
    changed.clear();
  }

  // Posts a pending append or edit before the cursor moves on.
  void CheckBrowseMode() {
    RequireActive();
    if (state != EditState::kBrowse)
      Post();
  }

  void StartEdit(EditState newState, std::vector<FieldValue> values) {
    state = newState;
    buffer = std::move(values);
    changed.assign(fields->size(), false);
  }

  void Cancel() {
    state = EditState::kBrowse;
    buffer.clear();
    changed.clear();
  }
};

RecordCursor::RecordCursor(std::string name, Connection& connection)
    : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(name);
  impl_->connection = connection.impl_.get();
  impl_->connection->cursors.push_back(this);
}

RecordCursor::~RecordCursor() {
  auto& cursors = impl_->connection->cursors;
  cursors.erase(std::remove(cursors.begin(), cursors.end(), this), cursors.end());
}

const std::string& RecordCursor::Name() const {
  return impl_->name;
}

void RecordCursor::Close() {
  Impl& d = *impl_;
  d.active = false;
  d.rows.clear();
  d.current = -1;
  d.eof = true;
  d.exhausted = true;
  d.Cancel();
}

void RecordCursor::SetQuery(QueryText query, std::string_view address) {
  Close();
  impl_->query = query;
  impl_->address = address;
  impl_->hasQuery = true;
}

void RecordCursor::Open() {
  Impl& d = *impl_;
  if (d.active)
    return;
  if (!d.hasQuery)
    d.Fail("No query text set");
  if (!d.connection->db)
    d.Fail("Operation is not allowed when the connection is closed");
  d.fields = d.connection->FieldNames(d.query, d.name);
  d.rows.clear();
  d.nextId = std::numeric_limits<int64_t>::min();
  d.exhausted = false;
  try {
    d.FetchPage(kPageRows);
  } catch (...) {
    Close();
    throw;
  }
  d.active = true;
  ++d.openCount;
  d.current = d.rows.empty() ? -1 : 0;
  d.eof = d.rows.empty();
}

void RecordCursor::Query(QueryText query, std::string_view address) {
  SetQuery(query, address);
  Open();
}

bool RecordCursor::Active() const {
  return impl_->active;
}

int64_t RecordCursor::OpenCount() const {
  return impl_->openCount;
}

bool RecordCursor::IsEmpty() {
  return !impl_->active || impl_->rows.empty();
}

bool RecordCursor::Bof() const {
  return impl_->current <= 0;
}

bool RecordCursor::Eof() {
  return impl_->eof;
}

void RecordCursor::First() {
  Impl& d = *impl_;
  d.CheckBrowseMode();
  d.current = d.rows.empty() ? -1 : 0;
  d.eof = d.rows.empty();
}

void RecordCursor::Next() {
  Impl& d = *impl_;
  d.CheckBrowseMode();
  if (d.EnsureRow(d.current + 1)) {
    ++d.current;
  } else {
    d.eof = true;
  }
}

void RecordCursor::MoveTo(int row) {
  Impl& d = *impl_;
  d.CheckBrowseMode();
  if (!d.EnsureRow(row))
    d.Fail("Row " + std::to_string(row) + " is out of range");
  d.current = row;
  d.eof = false;
}

int RecordCursor::RecNo() const {
  return impl_->active ? impl_->current : -1;
}

int RecordCursor::RecordCount() {
  if (!impl_->active)
    return 0;
  impl_->FetchAll();
  return static_cast<int>(impl_->rows.size());
}

int RecordCursor::FetchedCount() const {
  return static_cast<int>(impl_->rows.size());
}

bool RecordCursor::CanFetchMore() const {
  return impl_->active && !impl_->exhausted;
}

int RecordCursor::FetchMore(int maxRows) {
  return impl_->active ? impl_->FetchPage(maxRows) : 0;
}

std::string RecordCursor::FieldAsString(std::string_view field) const {
  return ValueAsString(impl_->Value(field));
}

int32_t RecordCursor::FieldAsInteger(std::string_view field) const {
  const FieldValue& value = impl_->Value(field);
  const std::optional<int64_t> number = ValueAsInteger(value);
  if (!number || *number < std::numeric_limits<int32_t>::min() ||
      *number > std::numeric_limits<int32_t>::max()) {
    impl_->Fail("'" + ValueAsString(value) + "' is not a valid integer value");
  }
  return static_cast<int32_t>(*number);
}

double RecordCursor::FieldAsDateTime(std::string_view field) const {
  const FieldValue& value = impl_->Value(field);
  const std::optional<double> number = ValueAsDouble(value);
  if (!number)
    impl_->Fail("'" + ValueAsString(value) + "' is not a valid date and time");
  return *number;
}

bool RecordCursor::FieldIsNull(std::string_view field) const {
  return std::holds_alternative<std::monostate>(impl_->Value(field));
}

std::string RecordCursor::StringAt(int row, std::string_view field) const {
  const Impl& d = *impl_;
  const size_t index = d.FieldIndex(field);
  if (row < 0 || row >= static_cast<int>(d.rows.size())) {
    d.Fail("Row " + std::to_string(row) + " is out of range");
  }
  return ValueAsString(d.rows[static_cast<size_t>(row)].values[index]);
}

void RecordCursor::Append() {
  Impl& d = *impl_;
  d.CheckBrowseMode();
  d.StartEdit(EditState::kInsert, std::vector<FieldValue>(d.fields->size()));
}

void RecordCursor::Edit() {
  Impl& d = *impl_;
  d.CheckBrowseMode();
  if (d.current < 0)
    d.Fail("Cannot perform this operation on an empty dataset");
  d.StartEdit(EditState::kEdit, d.rows[static_cast<size_t>(d.current)].values);
}

void RecordCursor::SetFieldAsString(std::string_view field, std::string_view value) {
  impl_->SetField(field, std::string(value));
}

void RecordCursor::SetFieldAsInteger(std::string_view field, int32_t value) {
  impl_->SetField(field, int64_t{value});
}

void RecordCursor::SetFieldAsDateTime(std::string_view field, double value) {
  impl_->SetField(field, value);
}

void RecordCursor::Post() {
  Impl& d = *impl_;
  d.RequireActive();
  if (d.state == EditState::kBrowse)
    d.Fail("Dataset not in edit or insert mode");
  d.Post();
}

void RecordCursor::Cancel() {
  impl_->Cancel();
}

void RecordCursor::Delete() {
  Impl& d = *impl_;
  d.RequireActive();
  if (d.state == EditState::kInsert) {  // deleting a row not yet posted drops it
    d.Cancel();
    return;
  }
  d.Cancel();
  if (d.current < 0)
    d.Fail("Cannot perform this operation on an empty dataset");
  const int64_t id = d.rows[static_cast<size_t>(d.current)].id;
  sqlite3_stmt* statement = d.connection->Statement(DeleteSql(SqlFor(d.query).table), d.name);
  {
    sqlcipher::ScopedReset reset(statement);
    sqlite3_bind_int64(statement, 1, id);
    if (sqlite3_step(statement) != SQLITE_DONE)
      d.Fail(sqlcipher::ErrorMessage(d.Db()));
  }
  d.rows.erase(d.rows.begin() + d.current);
  if (!d.EnsureRow(d.current)) {
    d.current = static_cast<int>(d.rows.size()) - 1;
    d.eof = true;
  }
}

}  // namespace tervane
