#ifndef TERVANE_STORE_RECORD_CURSOR_H_
#define TERVANE_STORE_RECORD_CURSOR_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/query_text.h"

namespace tervane {

class Connection;

// A record cursor over one query on one connection (the program's ADODataSet1 .. ADODataSet4).
// Every use follows one pattern: Close, SetQuery, Open (or Query, which does all three); then
// test presence, read fields, move, append/edit + post, or delete the current row.
// Rows are read lazily as the cursor moves on, so a list of 100,000 rows opens at once.
// Every failure throws DatabaseError whose message begins with the cursor's name and ": ".
// REQUIRES: the connection outlives the cursor.
class RecordCursor {
 public:
  RecordCursor(std::string name, Connection& connection);
  ~RecordCursor();
  RecordCursor(const RecordCursor&) = delete;
  RecordCursor& operator=(const RecordCursor&) = delete;

  const std::string& Name() const;

  // The query step. address is used only by the three lookups. SetQuery closes an open cursor.
  void Close();
  void SetQuery(QueryText query, std::string_view address = {});
  void Open();  // throws when the connection is closed
  void Query(QueryText query, std::string_view address = {});  // Close, SetQuery, Open
  bool Active() const;
  // How many times Open has run a query since the cursor was made (for tests and benchmarks).
  int64_t OpenCount() const;

  // Presence: true iff the open result holds no row (at its beginning and its end at once).
  bool IsEmpty();
  bool Bof() const;
  bool Eof();

  // Moving through the result. The current row is the first one after Open.
  void First();
  void Next();
  // Makes row (0-based) the current row. REQUIRES: 0 <= row < RecordCount().
  void MoveTo(int row);
  // The 0-based index of the current row, or -1 when there is none.
  int RecNo() const;
  // Rows of the result. Reads the whole result; the list views use FetchedCount instead.
  int RecordCount();
  // Rows read so far, and reading more of them (returns how many were added).
  int FetchedCount() const;
  bool CanFetchMore() const;
  int FetchMore(int maxRows);

  // Fields of the current row, by name. A null value reads as "", 0 or 0.0.
  std::string FieldAsString(std::string_view field) const;
  int32_t FieldAsInteger(std::string_view field) const;
  double FieldAsDateTime(std::string_view field) const;
  bool FieldIsNull(std::string_view field) const;
  // A field of a row already read, without moving. REQUIRES: row < FetchedCount().
  std::string StringAt(int row, std::string_view field) const;

  // Editing. Append starts a new row (fields null), Edit the current row; SetField* sets a field
  // of that row; Post writes it to the database at once (a new row becomes the last row of the
  // result and the current one); Cancel drops the change. Moving (First, Next, MoveTo) and a
  // further Append or Edit post a pending change first; Close drops it.
  void Append();
  void Edit();
  void SetFieldAsString(std::string_view field, std::string_view value);
  void SetFieldAsInteger(std::string_view field, int32_t value);
  void SetFieldAsDateTime(std::string_view field, double value);
  void Post();
  void Cancel();
  // Deletes the current row (exactly that row, by its identity) from the database and the
  // result; the next row becomes current, or else the new last row with Eof set. During an Append
  // it only drops the new row. Throws "<name>: Cannot perform this operation on an empty dataset"
  // when there is no row.
  void Delete();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tervane

#endif  // TERVANE_STORE_RECORD_CURSOR_H_
