#ifndef TERVANE_STORE_CONNECTION_STRING_H_
#define TERVANE_STORE_CONNECTION_STRING_H_

// Internal to store/: the mail client's "key=value;key=value" connection strings.

#include <filesystem>
#include <string>
#include <string_view>

namespace tervane {

struct ConnectionTarget {
  std::string dataSource;  // the database file
  std::string password;    // empty when the string names none
};

// Reads "Data Source" and "Jet OLEDB:Database Password" out of a connection string. Keys match
// case-insensitively with surrounding blanks ignored; a value may be enclosed in double or single
// quotes, a doubled quote standing for itself. Throws DatabaseError when no data source is named.
ConnectionTarget ParseConnectionString(std::string_view text);

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<file>;Persist Security Info=False;
// Jet OLEDB:Database Password=<password>". The file name is quoted only when it would otherwise
// not read back (it holds ';' or a quote, or begins or ends with a blank).
std::string MakeConnectionString(const std::filesystem::path& file, std::string_view password);

}  // namespace tervane

#endif  // TERVANE_STORE_CONNECTION_STRING_H_
