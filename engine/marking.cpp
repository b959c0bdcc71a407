#include "engine/marking.h"

#include <limits>
#include <memory>
#include <string>

#include "engine/address_rules.h"
#include "engine/clock.h"
#include "engine/list_rows.h"
#include "engine/spam_report.h"
#include "engine/spam_reporter.h"
#include "log/decision_log.h"
#include "mailapi/extension_interface.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

// Calls handle(messageId) for every selected message, in selection order.
template <typename Handler>
void ForEachSelectedMessage(IOEAPIObj& api, Handler handle) {
  for (int32_t id = api.GetFirstSelectedMessageID(); id != -1;
       id = api.GetNextSelectedMessageID()) {
    handle(id);
  }
}

// Asks for the selected folder and returns the message messageId in it, or null when the store
// has no such folder or message, or when the folder is (inSpamFolder false) or is not
// (inSpamFolder true) the spam folder. *folderId is the selected folder either way.
std::unique_ptr<IOEMessage> SelectedMessage(FilterContext& context, int32_t messageId,
                                            bool inSpamFolder, int32_t* folderId) {
  *folderId = context.api.GetSelectedFolderID();
  const std::unique_ptr<IOEFolder> folder = context.folderManager.GetFolder(*folderId);
  if ((*folderId == context.spamFolderId) != inSpamFolder || !folder)
    return nullptr;
  return folder->GetMessage(messageId);
}

// What a list step did, in the words of the log.
struct ListChange {
  bool changed;
  const char* ifChanged;
  const char* otherwise;
};

void LogMark(FilterContext& context, std::string_view what, int32_t messageId, int32_t folderId,
             const std::string& address, ListChange added, ListChange removed,
             const std::string& action) {
  context.log.Write(std::string(what) + ": message " + std::to_string(messageId) + " of folder " +
                    std::to_string(folderId) + " from <" + address +
                    ">: " + (added.changed ? added.ifChanged : added.otherwise) + ", " +
                    (removed.changed ? removed.ifChanged : removed.otherwise) + "; " + action);
}

void MarkOneAsSpam(FilterContext& context, int32_t messageId) {
  int32_t folderId = -1;
  const std::unique_ptr<IOEMessage> message =
      SelectedMessage(context, messageId, /*inSpamFolder=*/false, &folderId);
  if (!message)
    return;
  const std::string name = message->GetSenderName();
  const std::string headers = message->GetHeaders();
  const std::string content = message->GetContent();
  const std::string address = ExtractSenderAddress(headers);

  RecordCursor& cursor = context.database.ADODataSet1;
  const bool added = AddListRow(cursor, QueryText::kBlackTableLookup, address, name,
                                context.clock.Today(), ListWriter::kMarking) == AddResult::kAdded;
  const bool removed = DeleteFirstListMatch(cursor, QueryText::kWhiteTableLookup, address);
  const bool moved =
      context.folderManager.MoveMessage(folderId, context.spamFolderId, messageId) != -1;

  cursor.Query(QueryText::kMisc);
  cursor.Edit();
  // The count stops at its largest value instead of overflowing.
  const int32_t count = cursor.FieldAsInteger("spamnumber");
  cursor.SetFieldAsInteger("spamnumber",
                           count == std::numeric_limits<int32_t>::max() ? count : count + 1);
  cursor.Post();

  context.reporter.Navigate(SpamReportAddress(context.reportHost, address, content));
  LogMark(context, "marked spam", messageId, folderId, address,
          {added, "added to the black list", "already on the black list"},
          {removed, "taken off the white list", "not on the white list"},
          moved ? "moved to spam; report sent to " + context.reportHost
                : "could not be moved to spam; report sent to " + context.reportHost);
}

void MarkOneAsNotSpam(FilterContext& context, int32_t messageId) {
  const std::unique_ptr<IOEFolder> inbox = context.folderManager.GetInboxFolder();
  if (!inbox)
    return;
  const int32_t inboxId = inbox->GetID();
  int32_t folderId = -1;
  const std::unique_ptr<IOEMessage> message =
      SelectedMessage(context, messageId, /*inSpamFolder=*/true, &folderId);
  if (!message)
    return;
  const std::string headers = message->GetHeaders();
  const std::string name = message->GetSenderName();
  const std::string address = ExtractSenderAddress(headers);

  RecordCursor& cursor = context.database.ADODataSet1;
  const bool added = AddListRow(cursor, QueryText::kWhiteTableLookup, address, name,
                                context.clock.Today(), ListWriter::kMarking) == AddResult::kAdded;
  const bool removed = DeleteFirstListMatch(cursor, QueryText::kBlackTableLookup, address);
  const bool moved = context.folderManager.MoveMessage(folderId, inboxId, messageId) != -1;
  LogMark(context, "marked not spam", messageId, folderId, address,
          {added, "added to the white list", "already on the white list"},
          {removed, "taken off the black list", "not on the black list"},
          moved ? "moved to " + inbox->GetName() : "could not be moved to " + inbox->GetName());
}

}  // namespace

void MarkSelectedAsSpam(FilterContext& context) {
  ForEachSelectedMessage(context.api, [&](int32_t id) { MarkOneAsSpam(context, id); });
}

void MarkSelectedAsNotSpam(FilterContext& context) {
  ForEachSelectedMessage(context.api, [&](int32_t id) { MarkOneAsNotSpam(context, id); });
}

}  // namespace tervane
