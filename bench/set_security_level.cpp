// set_security_level DIR LEVEL: stores LEVEL (1 Low, 2 Medium, 3 High) in DIR/cust.mdb as the
// settings window's Ok would, so that a benchmark can run the real program at each level.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "store/filter_database.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::cerr << "usage: set_security_level DIR LEVEL\n";
    return 2;
  }
  try {
    tervane::FilterDatabase db;
    tervane::OpenFilterDatabase(db, argv[1]);
    db.ADODataSet1.Query(tervane::QueryText::kMisc);
    db.ADODataSet1.Edit();
    db.ADODataSet1.SetFieldAsInteger("secureclass", std::stoi(argv[2]));
    db.ADODataSet1.Post();
    tervane::CloseFilterDatabase(db);
  } catch (const std::exception& e) {
    std::cerr << "set_security_level: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
