#include "engine/classification.h"

#include <string>

#include "engine/address_rules.h"
#include "engine/list_rows.h"
#include "log/decision_log.h"
#include "mailapi/extension_interface.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

// A verdict and the rule that gave it, as the log tells it.
struct Verdict {
  bool spam;
  const char* reason;
};

// The reason a list gives, as the log tells it: "on the black list", or "on the black list by
// its domain @example.com".
const char* Because(ListMatch match, const char* byAddress, const char* byDomain) {
  return match == ListMatch::kDomain ? byDomain : byAddress;
}

// The verdict on a message from senderAddress at the context's security level. Each list is
// asked for the address, then for its domain.
Verdict Judge(FilterContext& context, const std::string& senderAddress) {
  if (!IsValidEmail(senderAddress))
    return {true, "not a valid address"};
  FilterDatabase& db = context.database;
  if (const ListMatch white =
          MatchInList(db.ADODataSet1, QueryText::kWhiteTableLookup, senderAddress);
      white != ListMatch::kNone)
    return {false, Because(white, "on the white list", "on the white list by its domain")};
  const SecurityLevel level = context.securityLevel.level();
  if (level == SecurityLevel::kHigh)
    return {true, "not on the white list, level High"};
  if (const ListMatch black =
          MatchInList(db.ADODataSet1, QueryText::kBlackTableLookup, senderAddress);
      black != ListMatch::kNone)
    return {true, Because(black, "on the black list", "on the black list by its domain")};
  if (level == SecurityLevel::kLow)
    return {false, "not on the black list, level Low"};
  if (const ListMatch reference =
          MatchInList(db.ADODataSet2, QueryText::kOfficialSpamLookup, senderAddress);
      reference != ListMatch::kNone)
    return {true,
            Because(reference, "on the reference list", "on the reference list by its domain")};
  return {false, "on no list"};
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
  const Verdict verdict = Judge(context, senderAddress);
  const std::string folderName = folder->GetName();
  std::string action = "left in " + folderName;
  if (verdict.spam) {
    const bool moved =
        context.folderManager.MoveMessage(folderId, context.spamFolderId, newMsgId) != -1;
    action = moved ? "moved to spam" : "could not be moved to spam";
  }
  context.log.Write(std::string(verdict.spam ? "spam: " : "kept: ") + "message " +
                    std::to_string(newMsgId) + " in " + folderName + " from <" + senderAddress +
                    ">: " + verdict.reason + "; " + action);
}

}  // namespace tervane
