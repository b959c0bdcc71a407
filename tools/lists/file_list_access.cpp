// The list commands on the database files themselves, while this process owns their folder.
#include <unistd.h>

#include <string>

#include "engine/date_time.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "store/folder_owner.h"
#include "tools/lists/list_access.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

class FileListAccess : public ListAccess {
 public:
  explicit FileListAccess(const fs::path& folder) : owner_(FolderOwner::Acquire(folder)) {}

  size_t Rows(ListKind list, std::string_view match,
              const std::function<void(const ListEntry&)>& each) override {
    return ForEachListEntry(Open(list), list, match, each);
  }
  AddResult Add(ListKind list, std::string_view address,
                std::optional<std::string_view> name) override {
    return AddAddress(Open(list), list, address, name, LocalToday());
  }
  size_t Remove(ListKind list, std::string_view address) override {
    return RemoveAddress(Open(list), list, address);
  }
  ImportResult Import(ListKind list, const std::vector<ListEntry>& entries,
                      const ImportProgress& progress) override {
    return ImportEntries(Open(list), list, entries, LocalToday(), progress);
  }
  int32_t Level(std::optional<int32_t> level) override {
    FilterDatabase& db = Open(ListKind::kWhite);
    if (level)
      SaveSecurityLevel(db, *level);
    return ReadMiscRow(db).secureclass;
  }
  MiscRow Stats() override { return ReadMiscRow(Open(ListKind::kWhite)); }

  std::string Where() const override { return "the files in " + owner_.folder().string(); }

 private:
  // The database with the file of list open; only that file is opened, so the other one may be
  // missing or unreadable.
  FilterDatabase& Open(ListKind list) {
    const bool customer = IsUserList(list);
    Connection& connection = ConnectionOf(db_, list);
    if (connection.Connected())
      return db_;
    const fs::path& folder = owner_.folder();
    const fs::path file = folder / (customer ? kCustomerDatabaseFile : kReferenceDatabaseFile);
    connection.SetConnectionString(customer ? CustomerConnectionString(folder)
                                            : ReferenceConnectionString(folder));
    try {
      connection.Open();
    } catch (const DatabaseError&) {
      // SQLite opens a file it may not write read-only and fails only at the first write.
      if (fs::exists(file) && ::access(file.c_str(), W_OK) != 0) {
        throw DatabaseError(file.string() +
                            " is read-only: the lists cannot be opened, as opening them writes "
                            "to the file; nothing was changed");
      }
      throw;
    }
    return db_;
  }

  FolderOwner owner_;  // held until the connections below are closed
  FilterDatabase db_;
};

}  // namespace

std::unique_ptr<ListAccess> NewFileListAccess(const fs::path& folder) {
  return std::make_unique<FileListAccess>(folder);
}

}  // namespace tervane
