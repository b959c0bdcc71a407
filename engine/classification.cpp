#include "engine/classification.h"

#include <string>

#include "engine/address_rules.h"
#include "engine/list_rows.h"
#include "mailclient/extension_interface.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

constexpr int32_t kHigh = 3;
constexpr int32_t kLow = 1;

// Returns true iff the message from senderAddress is spam at the context's security level.
bool IsSpam(FilterContext& context, const std::string& senderAddress) {
  if (!IsValidEmail(senderAddress))
    return true;
  FilterDatabase& db = context.database;
  if (IsListed(db.ADODataSet1, QueryText::kWhiteTableLookup, senderAddress))
    return false;
  const int32_t level = context.securityLevel;
  if (level == kHigh)
    return true;
  if (IsListed(db.ADODataSet1, QueryText::kBlackTableLookup, senderAddress))
    return true;
  if (level == kLow)
    return false;
  return IsListed(db.ADODataSet2, QueryText::kOfficialSpamLookup, senderAddress);
}

}  // namespace

void FilterNewMessage(FilterContext& context, int32_t folderId, int32_t newMsgId) {
  if (folderId == context.spamFolderId)
    return;
  ClassifyNewMessage(context, folderId, newMsgId);
}

void ClassifyNewMessage(FilterContext& context, int32_t folderId, int32_t newMsgId) {
  const std::unique_ptr<IOEFolder> folder = context.folderManager.GetFolder(folderId);
  if (!folder)
    return;
  const std::unique_ptr<IOEMessage> message = folder->GetMessage(newMsgId);
  if (!message)
    return;
  const std::string senderAddress = ExtractSenderAddress(message->GetHeaders());
  if (IsSpam(context, senderAddress)) {
    context.folderManager.MoveMessage(folderId, context.spamFolderId, newMsgId);
  }
}

}  // namespace tervane
