// The list commands carried out by the running program that owns the lists, through its
// control socket (lists/list_protocol.h).
#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <stdexcept>

#include "engine/address_rules.h"
#include "extserver/control_client.h"
#include "lists/list_protocol.h"
#include "lists/row_transfer.h"
#include "tools/lists/list_access.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
namespace protocol = list_protocol;

// An import of a million addresses, run by the program, is well within this.
constexpr std::chrono::seconds kAnswerTimeout(120);

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

size_t Count(const QJsonObject& answer, const char* member) {
  return static_cast<size_t>(answer.value(member).toInteger());
}

class ProgramListAccess : public ListAccess {
 public:
  ProgramListAccess(const fs::path& folder, const fs::path& socket)
      : folder_(folder), socket_(socket) {
    const QJsonObject answer = Ask({{"action", protocol::kFolderAction}});
    const fs::path programFolder = answer.value("folder").toString().toStdString();
    std::error_code error;
    if (!fs::equivalent(programFolder, folder_, error)) {
      throw std::runtime_error("the program at " + socket_.string() + " keeps its lists in " +
                               programFolder.string() + ", not in " + folder_.string());
    }
  }

  size_t Rows(ListKind list, std::string_view match,
              const std::function<void(const ListEntry&)>& each) override {
    const TransferFolder transfer;
    const fs::path file = transfer.NewFile("rows", "");
    const QJsonObject answer = Ask({{"action", protocol::kRowsAction},
                                    {"list", Q(ListKindName(list))},
                                    {"match", Q(match)},
                                    {"file", Q(file.string())}});
    for (const ListEntry& entry : DecodeEntries(ReadTransferFile(file)))
      each(entry);
    return Count(answer, "count");
  }

  AddResult Add(ListKind list, std::string_view address,
                std::optional<std::string_view> name) override {
    QJsonObject request{
        {"action", protocol::kAddAction}, {"list", Q(ListKindName(list))}, {"address", Q(address)}};
    if (name)
      request.insert("name", Q(*name));
    try {
      const QJsonObject answer = Ask(request);
      return answer.value("result").toString() == protocol::kAdded ? AddResult::kAdded
                                                                   : AddResult::kAlreadyListed;
    } catch (const ControlRefusal& refusal) {
      if (refusal.what() == kInvalidEmailMessage)
        return AddResult::kInvalid;
      throw;
    }
  }

  size_t Remove(ListKind list, std::string_view address) override {
    return Count(Ask({{"action", protocol::kRemoveAction},
                      {"list", Q(ListKindName(list))},
                      {"address", Q(address)}}),
                 "removed");
  }

  ImportResult Import(ListKind list, const std::vector<ListEntry>& entries,
                      const ImportProgress&) override {
    const TransferFolder transfer;
    const fs::path file = transfer.NewFile("import", EncodeEntries(entries));
    QJsonObject answer;
    try {
      answer = Ask({{"action", protocol::kImportAction},
                    {"list", Q(ListKindName(list))},
                    {"file", Q(file.string())}});
    } catch (const ControlNotRunning&) {
      throw;  // the request never reached a program
    } catch (const ControlClientError& error) {
      throw ImportUnconfirmed(std::string(error.what()) +
                              " before the import was confirmed: the list holds all of it or "
                              "none of it (one transaction); `show` tells which");
    }
    ImportResult result;
    result.imported = Count(answer, "imported");
    result.alreadyListed = Count(answer, "alreadyListed");
    for (const QJsonValue line : answer.value("invalidLines").toArray())
      result.invalidLines.push_back(static_cast<size_t>(line.toInteger()));
    return result;
  }

  int32_t Level(std::optional<int32_t> level) override {
    QJsonObject request{{"action", protocol::kLevelAction}};
    if (level)
      request.insert("level", *level);
    return Ask(request).value("level").toInt();
  }

  MiscRow Stats() override {
    const QJsonObject answer = Ask({{"action", protocol::kStatsAction}});
    MiscRow misc;
    misc.secureclass = answer.value("secureclass").toInt();
    misc.spamnumber = answer.value("spamnumber").toInt();
    misc.number = answer.value("number").toInt();
    if (answer.value("harvest").isDouble())
      misc.harvest = answer.value("harvest").toDouble();
    return misc;
  }

  std::string Where() const override { return "the running program at " + socket_.string(); }

 private:
  QJsonObject Ask(QJsonObject request) const {
    request.insert("cmd", protocol::kCommand);
    request.insert("folder", Q(folder_.string()));
    return ExchangeCommand(socket_, request, kAnswerTimeout);
  }

  const fs::path folder_;
  const fs::path socket_;
};

}  // namespace

std::unique_ptr<ListAccess> NewProgramListAccess(const fs::path& folder, const fs::path& socket) {
  return std::make_unique<ProgramListAccess>(folder, socket);
}

}  // namespace tervane
