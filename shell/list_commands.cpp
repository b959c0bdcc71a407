#include "shell/list_commands.h"

#include <QJsonArray>
#include <stdexcept>
#include <string>
#include <system_error>

#include "engine/address_rules.h"
#include "engine/date_time.h"
#include "engine/misc_row.h"
#include "extserver/extension_server.h"
#include "lists/list_operations.h"
#include "lists/list_protocol.h"
#include "lists/row_transfer.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
namespace protocol = list_protocol;

std::string Text(const QJsonObject& request, const char* member) {
  const QJsonValue value = request.value(member);
  if (!value.isString())
    throw std::runtime_error(std::string("the request has no \"") + member + "\"");
  return value.toString().toStdString();
}

ListKind ListOf(const QJsonObject& request, bool userListOnly) {
  const std::optional<ListKind> list = ListKindNamed(Text(request, "list"));
  if (!list || (userListOnly && !IsUserList(*list)))
    throw std::runtime_error("no such list: " + Text(request, "list"));
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

ProgramListCommands::ProgramListCommands(ExtensionServer& server, FilterDatabase& db,
                                         fs::path databaseFolder, int32_t& securityLevel)
    : server_(server),
      db_(db),
      databaseFolder_(Canonical(databaseFolder)),
      securityLevel_(securityLevel) {
  server_.SetProgramCommand(protocol::kCommand,
                            [this](const QJsonObject& request) { return Answer(request); });
}

ProgramListCommands::~ProgramListCommands() {
  server_.SetProgramCommand(protocol::kCommand, nullptr);
}

QJsonObject ProgramListCommands::Answer(const QJsonObject& request) {
  const std::string action = Text(request, "action");
  const QString folder = QString::fromStdString(databaseFolder_.string());
  if (action == protocol::kFolderAction)
    return {{"folder", folder}};
  if (Canonical(Text(request, "folder")) != databaseFolder_) {
    throw std::runtime_error("this program keeps its lists in " + databaseFolder_.string() +
                             ", not in " + Text(request, "folder"));
  }

  OpenForRequest open(db_, databaseFolder_);
  if (action == protocol::kRowsAction) {
    std::string rows;
    const size_t count =
        ForEachListEntry(db_, ListOf(request, false), Text(request, "match"),
                         [&rows](const ListEntry& entry) { AppendEncodedEntry(rows, entry); });
    WriteTransferFile(Text(request, "file"), rows);
    return {{"count", static_cast<qint64>(count)}};
  }
  if (action == protocol::kAddAction) {
    std::optional<std::string> name;
    if (request.contains("name"))
      name = Text(request, "name");
    switch (AddAddress(db_, ListOf(request, true), Text(request, "address"), name, LocalToday())) {
      case AddResult::kAdded:
        return {{"result", protocol::kAdded}};
      case AddResult::kAlreadyListed:
        return {{"result", protocol::kAlreadyListed}};
      case AddResult::kInvalid:
        break;
    }
    throw std::runtime_error(std::string(kInvalidEmailMessage));
  }
  if (action == protocol::kRemoveAction) {
    const size_t removed = RemoveAddress(db_, ListOf(request, true), Text(request, "address"));
    return {{"removed", static_cast<qint64>(removed)}};
  }
  if (action == protocol::kImportAction) {
    const ListKind list = ListOf(request, true);
    const std::vector<ListEntry> entries = DecodeEntries(ReadTransferFile(Text(request, "file")));
    const ImportResult result = ImportEntries(db_, list, entries, LocalToday());
    QJsonArray invalid;
    for (const size_t line : result.invalidLines)
      invalid.append(static_cast<qint64>(line));
    return {{"imported", static_cast<qint64>(result.imported)},
            {"alreadyListed", static_cast<qint64>(result.alreadyListed)},
            {"invalidLines", invalid}};
  }
  if (action == protocol::kLevelAction) {
    if (request.contains("level")) {
      const int32_t level = request.value("level").toInt();
      if (level < 1 || level > 3)
        throw std::runtime_error("no such security level: " + std::to_string(level));
      // As the settings window's Ok: stored, and the level of the next message judged.
      SaveSecurityLevel(db_, level);
      securityLevel_ = level;
    }
    return {{"level", ReadMiscRow(db_).secureclass}};
  }
  if (action == protocol::kStatsAction) {
    const MiscRow misc = ReadMiscRow(db_);
    return {{"secureclass", misc.secureclass},
            {"spamnumber", misc.spamnumber},
            {"number", misc.number},
            {"harvest", misc.harvest ? QJsonValue(*misc.harvest) : QJsonValue()}};
  }
  throw std::runtime_error("unknown lists action: " + action);
}

}  // namespace tervane
