#include "updater/installed_list.h"

#include <algorithm>

#include "reflist/address_list.h"
#include "reflist/release_manifest.h"
#include "store/connection.h"
#include "store/filter_database.h"
#include "store/record_cursor.h"

namespace tervane {
namespace {

// Calls visit with every address of folder's ospam.mdb, in lower case, in no particular order.
template <typename Visit>
void ForEachInstalled(const std::filesystem::path& folder, Visit visit) {
  Connection connection(Connection::Mode::kReadOnly);
  connection.SetConnectionString(ReferenceConnectionString(folder));
  connection.Open();
  RecordCursor cursor("installed list", connection);
  cursor.Query(QueryText::kOfficialSpam);
  for (; !cursor.Eof(); cursor.Next())
    visit(LowerCaseAddress(cursor.FieldAsString("mail")));
}

}  // namespace

ListChange CompareWithInstalled(const std::filesystem::path& folder,
                                const std::vector<std::string>& next) {
  ListChange change;
  ForEachInstalled(folder, [&](const std::string& address) {
    ++change.installed;
    change.removed += !std::binary_search(next.begin(), next.end(), address);
  });
  return change;
}

std::string InstalledListSha256(const std::filesystem::path& folder) {
  std::vector<std::string> addresses;
  ForEachInstalled(folder, [&](std::string address) { addresses.push_back(std::move(address)); });
  return Sha256Hex(FormatAddressList(std::move(addresses)));
}

bool RemovesTooMany(const ListChange& change, int maxPercent) {
  return change.removed * 100 > change.installed * maxPercent;
}

}  // namespace tervane
