#include "tests/engine/engine_fixture.h"

namespace tervane::testing {

void PrintTo(const ListRow& row, std::ostream* os) {
  *os << "{" << row.mail << ", " << row.name << ", " << row.date << "}";
}

EngineTest::EngineTest() : folder({kReferenceSender, kReferenceDomain}) {
  securityLevel.Set(OpenFilterDatabase(db, folder.dir.path()));
  spamFolderId = store.AddFolder("spam");
  queriesAtOpen_ = Queries();
}

EngineTest::~EngineTest() {
  CloseFilterDatabase(db);
}

std::vector<ListRow> EngineTest::Rows(QueryText table) {
  RecordCursor& cursor = db.ADODataSet3;
  cursor.Query(table);
  std::vector<ListRow> rows;
  for (; !cursor.Eof(); cursor.Next()) {
    rows.push_back({cursor.FieldAsString("mail"), cursor.FieldAsString("name"),
                    cursor.FieldAsDateTime("date")});
  }
  cursor.Close();
  return rows;
}

void EngineTest::AddRow(QueryText lookup, const std::string& mail, const std::string& name) {
  RecordCursor& cursor = db.ADODataSet3;
  cursor.Query(lookup == QueryText::kWhiteTableLookup ? QueryText::kWhiteTable
                                                      : QueryText::kBlackTable);
  cursor.Append();
  cursor.SetFieldAsString("mail", mail);
  cursor.SetFieldAsString("name", name);
  cursor.SetFieldAsDateTime("date", EncodeDateTime(2020, 1, 1));
  cursor.SetFieldAsInteger("class", 1);
  cursor.Post();
  cursor.Close();
}

int32_t EngineTest::SpamNumber() {
  db.ADODataSet3.Query(QueryText::kMisc);
  return db.ADODataSet3.FieldAsInteger("spamnumber");
}

TDateTime EngineTest::Watermark() {
  db.ADODataSet3.Query(QueryText::kMisc);
  return db.ADODataSet3.FieldAsDateTime("date");
}

int64_t EngineTest::Queries() const {
  return db.ADODataSet1.OpenCount() + db.ADODataSet2.OpenCount() - queriesAtOpen_;
}

}  // namespace tervane::testing
