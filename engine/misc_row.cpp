#include "engine/misc_row.h"

#include "store/filter_database.h"

namespace tervane {

MiscRow ReadMiscRow(FilterDatabase& db) {
  RecordCursor& misc = db.ADODataSet1;
  misc.Query(QueryText::kMisc);
  MiscRow row;
  row.secureclass = misc.FieldAsInteger("secureclass");
  row.spamnumber = misc.FieldAsInteger("spamnumber");
  row.number = misc.FieldAsInteger("number");
  if (!misc.FieldIsNull("date")) {
    row.harvest = misc.FieldAsDateTime("date");
  }
  return row;
}

int32_t ReadSpamNumber(FilterDatabase& db) {
  db.ADODataSet1.Query(QueryText::kMisc);
  return db.ADODataSet1.FieldAsInteger("spamnumber");
}

void SaveSecurityLevel(FilterDatabase& db, int32_t level) {
  RecordCursor& misc = db.ADODataSet1;
  misc.Query(QueryText::kMisc);
  misc.Edit();
  misc.SetFieldAsInteger("secureclass", level);
  misc.Post();
}

}  // namespace tervane
