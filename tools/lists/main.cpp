// tervane-lists: prints the filter's lists and counters from the database files in a program
// folder, for a look from outside the program (which holds the files while it is attached).
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "engine/date_time.h"
#include "store/database_error.h"
#include "store/filter_database.h"

namespace {

using namespace tervane;

constexpr const char* kUsageText =
    "usage: tervane-lists DIR [white|black|misc]\n"
    "  Prints the white list, the black list (mail, name, date; tab-separated) or the settings\n"
    "  and counters of DIR/cust.mdb; without a choice, all three.\n";

std::string FormatDate(const RecordCursor& cursor) {
  return cursor.FieldIsNull("date") ? "" : FormatIsoDate(cursor.FieldAsDateTime("date"));
}

void PrintList(RecordCursor& cursor, QueryText table, std::string_view title) {
  std::cout << "# " << title << '\n';
  cursor.Query(table);
  for (cursor.First(); !cursor.Eof(); cursor.Next()) {
    std::cout << cursor.FieldAsString("mail") << '\t' << cursor.FieldAsString("name") << '\t'
              << FormatDate(cursor) << '\n';
  }
}

void PrintMisc(RecordCursor& cursor) {
  std::cout << "# settings and counters\n";
  cursor.Query(QueryText::kMiscWhereId1);
  std::cout << "security level\t" << cursor.FieldAsInteger("secureclass") << '\n'
            << "marked as spam\t" << cursor.FieldAsInteger("spamnumber") << '\n'
            << "detaches\t" << cursor.FieldAsInteger("number") << '\n'
            << "last harvest\t" << FormatDate(cursor) << '\n';
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::string_view choice = argc == 3 ? argv[2] : "";
  if (argc < 2 || argc > 3 ||
      (argc == 3 && choice != "white" && choice != "black" && choice != "misc")) {
    std::cerr << kUsageText;
    return 2;
  }
  try {
    FilterDatabase db;
    OpenFilterDatabase(db, argv[1]);
    if (choice.empty() || choice == "white")
      PrintList(db.ADODataSet1, QueryText::kWhiteTable, "white list");
    if (choice.empty() || choice == "black")
      PrintList(db.ADODataSet1, QueryText::kBlackTable, "black list");
    if (choice.empty() || choice == "misc")
      PrintMisc(db.ADODataSet1);
    CloseFilterDatabase(db);
  } catch (const std::exception& e) {
    std::cerr << "tervane-lists: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
