#ifndef TERVANE_STORE_DATABASE_MAKER_H_
#define TERVANE_STORE_DATABASE_MAKER_H_

#include <filesystem>
#include <istream>
#include <string>
#include <vector>

namespace tervane {

// Creates the customer database file (whitetable, blacktable, misc with its one row: id 1,
// secureclass 2, spamnumber 0, number 0, date null), keyed with the customer password.
// Throws DatabaseError when the file already exists or cannot be written.
void CreateCustomerDatabase(const std::filesystem::path& file);

// Creates the reference spam database file with officialspam holding each address once, keyed
// with the reference password. Throws DatabaseError when the file already exists.
void CreateReferenceDatabase(const std::filesystem::path& file,
                             const std::vector<std::string>& addresses);

// Both files are built under a temporary name beside the target and put in place only when
// complete, so a failure never leaves a partial file behind.

// The addresses of a reference list: one per line, blanks around it ignored, blank lines and
// lines beginning with '#' skipped. Duplicates are kept (the database holds each once).
std::vector<std::string> ParseAddressList(std::istream& in);

}  // namespace tervane

#endif  // TERVANE_STORE_DATABASE_MAKER_H_
