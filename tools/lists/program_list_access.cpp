// The list commands carried out by the running program that owns the lists, through its
// control socket (the "lists" requests of control/control_protocol.h).
#include <chrono>
#include <stdexcept>

#include "control/control_client.h"
#include "engine/address_rules.h"
#include "lists/row_transfer.h"
#include "tools/lists/list_access.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

// An import of a million addresses, run by the program, is well within this.
constexpr std::chrono::seconds kAnswerTimeout(120);

class ProgramListAccess : public ListAccess {
 public:
  ProgramListAccess(const fs::path& folder, const fs::path& socket)
      : folder_(folder), socket_(socket) {
    const fs::path programFolder = Ask(Request(ListsAction::kFolder)).folder.value_or("");
    std::error_code error;
    if (!fs::equivalent(programFolder, folder_, error)) {
      throw std::runtime_error("the program at " + socket_.string() + " keeps its lists in " +
                               programFolder.string() + ", not in " + folder_.string());
    }
  }

  size_t Rows(ListKind list, std::string_view match,
              const std::function<void(const ListEntry&)>& each) override {
    const TransferFolder transfer;
    ListsRequest request = Request(ListsAction::kRows, list);
    request.match = match;
    request.file = transfer.NewFile("rows", "").string();
    const ListsAnswer answer = Ask(request);
    for (const ListEntry& entry : DecodeEntries(ReadTransferFile(request.file)))
      each(entry);
    return static_cast<size_t>(answer.count.value_or(0));
  }

  AddResult Add(ListKind list, std::string_view address,
                std::optional<std::string_view> name) override {
    ListsRequest request = Request(ListsAction::kAdd, list);
    request.address = address;
    if (name)
      request.name = std::string(*name);
    try {
      return Ask(request).result == kListsAdded ? AddResult::kAdded : AddResult::kAlreadyListed;
    } catch (const ControlRefusal& refusal) {
      if (refusal.what() == kInvalidEmailMessage)
        return AddResult::kInvalid;
      throw;
    }
  }

  size_t Remove(ListKind list, std::string_view address) override {
    ListsRequest request = Request(ListsAction::kRemove, list);
    request.address = address;
    return static_cast<size_t>(Ask(request).removed.value_or(0));
  }

  ImportResult Import(ListKind list, const std::vector<ListEntry>& entries,
                      const ImportProgress&) override {
    const TransferFolder transfer;
    ListsRequest request = Request(ListsAction::kImport, list);
    request.file = transfer.NewFile("import", EncodeEntries(entries)).string();
    ListsAnswer answer;
    try {
      answer = Ask(request);
    } catch (const ControlNotRunning&) {
      throw;  // the request never reached a program
    } catch (const ControlClientError& error) {
      throw ImportUnconfirmed(std::string(error.what()) +
                              " before the import was confirmed: the list holds all of it or "
                              "none of it (one transaction); `show` tells which");
    }
    ImportResult result;
    result.imported = static_cast<size_t>(answer.imported.value_or(0));
    result.alreadyListed = static_cast<size_t>(answer.alreadyListed.value_or(0));
    for (const int64_t line : answer.invalidLines.value_or(std::vector<int64_t>{}))
      result.invalidLines.push_back(static_cast<size_t>(line));
    return result;
  }

  int32_t Level(std::optional<int32_t> level) override {
    ListsRequest request = Request(ListsAction::kLevel);
    request.level = level;
    return Ask(request).level.value_or(0);
  }

  MiscRow Stats() override {
    const ListsStats stats = Ask(Request(ListsAction::kStats)).stats.value_or(ListsStats{});
    MiscRow misc;
    misc.secureclass = stats.secureclass;
    misc.spamnumber = stats.spamnumber;
    misc.number = stats.number;
    misc.harvest = stats.harvest;
    return misc;
  }

  std::string Where() const override { return "the running program at " + socket_.string(); }

 private:
  ListsRequest Request(ListsAction action, std::optional<ListKind> list = std::nullopt) const {
    ListsRequest request;
    request.action = action;
    request.dataFolder = folder_.string();
    if (list)
      request.list = ListKindName(*list);
    return request;
  }

  ListsAnswer Ask(const ListsRequest& lists) const {
    ControlRequest request;
    request.command = ControlCommand::kLists;
    request.lists = lists;
    return Exchange(socket_, request, kAnswerTimeout).lists;
  }

  const fs::path folder_;
  const fs::path socket_;
};

}  // namespace

std::unique_ptr<ListAccess> NewProgramListAccess(const fs::path& folder, const fs::path& socket) {
  return std::make_unique<ProgramListAccess>(folder, socket);
}

}  // namespace tervane
