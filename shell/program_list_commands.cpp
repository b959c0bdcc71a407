#include "shell/program_list_commands.h"

#include <stdexcept>
#include <string>
#include <system_error>

#include "engine/address_rules.h"
#include "engine/date_time.h"
#include "engine/misc_row.h"
#include "lists/list_operations.h"
#include "lists/row_transfer.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

ListKind ListOf(const ListsRequest& request, bool userListOnly) {
  const std::optional<ListKind> list = ListKindNamed(request.list);
  if (!list || (userListOnly && !IsUserList(*list)))
    throw std::runtime_error("no such list: " + request.list);
  return *list;
}

fs::path Canonical(const fs::path& folder) {
  std::error_code error;
  const fs::path canonical = fs::weakly_canonical(folder, error);
  return error ? folder : canonical;
}

// Keeps the filter database open for one request: opened here when the program is detached,
// and closed again after it.
class OpenForRequest {
 public:
  OpenForRequest(FilterDatabase& db, const fs::path& folder)
      : db_(db), opened_(!db.ADOConnection1.Connected()) {
    if (opened_)
      OpenFilterDatabase(db_, folder);
  }
  ~OpenForRequest() {
    if (opened_)
      CloseFilterDatabase(db_);
  }
  OpenForRequest(const OpenForRequest&) = delete;
  OpenForRequest& operator=(const OpenForRequest&) = delete;

 private:
  FilterDatabase& db_;
  const bool opened_;
};

}  // namespace

ProgramListCommands::ProgramListCommands(FilterDatabase& db, fs::path databaseFolder,
                                         ProgramSecurityLevel& securityLevel,
                                         std::function<void()> betweenSlices)
    : db_(db),
      databaseFolder_(Canonical(databaseFolder)),
      securityLevel_(securityLevel),
      betweenSlices_(std::move(betweenSlices)) {}

ListsAnswer ProgramListCommands::Answer(const ListsRequest& request) {
  ListsAnswer answer;
  if (request.action == ListsAction::kFolder) {
    answer.folder = databaseFolder_.string();
    return answer;
  }
  if (Canonical(request.dataFolder) != databaseFolder_) {
    throw std::runtime_error("this program keeps its lists in " + databaseFolder_.string() +
                             ", not in " + request.dataFolder);
  }

  OpenForRequest open(db_, databaseFolder_);
  switch (request.action) {
    case ListsAction::kFolder:
      break;
    case ListsAction::kRows: {
      std::string rows;
      answer.count = static_cast<int64_t>(
          ForEachListEntry(db_, ListOf(request, false), request.match,
                           [&rows](const ListEntry& entry) { AppendEncodedEntry(rows, entry); }));
      WriteTransferFile(request.file, rows);
      break;
    }
    case ListsAction::kAdd: {
      const std::optional<std::string_view> name =
          request.name ? std::optional<std::string_view>(*request.name) : std::nullopt;
      switch (AddAddress(db_, ListOf(request, true), request.address, name, LocalToday())) {
        case AddResult::kAdded:
          answer.result = kListsAdded;
          return answer;
        case AddResult::kAlreadyListed:
          answer.result = kListsAlreadyListed;
          return answer;
        case AddResult::kInvalid:
          break;
      }
      throw std::runtime_error(std::string(kInvalidEmailMessage));
    }
    case ListsAction::kRemove:
      answer.removed =
          static_cast<int64_t>(RemoveAddress(db_, ListOf(request, true), request.address));
      break;
    case ListsAction::kImport: {
      const ListKind list = ListOf(request, true);
      EncodedEntryReader reader(OpenTransferFileToRead(request.file));
      const ImportResult result = ImportEntries(
          db_, list, [&reader](ListEntry& entry) { return reader.Next(entry); }, 0, LocalToday(),
          [this](size_t, size_t) {
            if (betweenSlices_)
              betweenSlices_();
          });
      answer.imported = static_cast<int64_t>(result.imported);
      answer.alreadyListed = static_cast<int64_t>(result.alreadyListed);
      answer.invalidLines.emplace();
      for (const size_t line : result.invalidLines)
        answer.invalidLines->push_back(static_cast<int64_t>(line));
      break;
    }
    case ListsAction::kLevel:
      if (request.level) {
        const int32_t level = *request.level;
        if (level < 1 || level > 3)
          throw std::runtime_error("no such security level: " + std::to_string(level));
        // As the settings window's Ok: stored, and the level of the next message judged.
        SaveSecurityLevel(db_, level);
        securityLevel_.Set(level);
      }
      answer.level = ReadMiscRow(db_).secureclass;
      break;
    case ListsAction::kStats: {
      const MiscRow misc = ReadMiscRow(db_);
      answer.stats = ListsStats{misc.secureclass, misc.spamnumber, misc.number, misc.harvest};
      break;
    }
  }
  return answer;
}

}  // namespace tervane
