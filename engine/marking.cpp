#include "engine/marking.h"

#include <limits>
#include <memory>
#include <string>

#include "engine/address_rules.h"
#include "engine/clock.h"
#include "engine/list_rows.h"
#include "engine/spam_report.h"
#include "engine/spam_reporter.h"
#include "mailclient/extension_interface.h"
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
  AddToListIfAbsent(cursor, QueryText::kBlackTableLookup, address, name, context.clock.Today());
  DeleteFirstListMatch(cursor, QueryText::kWhiteTableLookup, address);
  context.folderManager.MoveMessage(folderId, context.spamFolderId, messageId);

  cursor.Query(QueryText::kMisc);
  cursor.Edit();
  // The count stops at its largest value instead of overflowing.
  const int32_t count = cursor.FieldAsInteger("spamnumber");
  cursor.SetFieldAsInteger("spamnumber",
                           count == std::numeric_limits<int32_t>::max() ? count : count + 1);
  cursor.Post();

  context.reporter.Navigate(SpamReportAddress(context.reportHost, address, content));
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
  AddToListIfAbsent(cursor, QueryText::kWhiteTableLookup, address, name, context.clock.Today());
  DeleteFirstListMatch(cursor, QueryText::kBlackTableLookup, address);
  context.folderManager.MoveMessage(folderId, inboxId, messageId);
}

}  // namespace

void MarkSelectedAsSpam(FilterContext& context) {
  ForEachSelectedMessage(context.api, [&](int32_t id) { MarkOneAsSpam(context, id); });
}

void MarkSelectedAsNotSpam(FilterContext& context) {
  ForEachSelectedMessage(context.api, [&](int32_t id) { MarkOneAsNotSpam(context, id); });
}

}  // namespace tervane
