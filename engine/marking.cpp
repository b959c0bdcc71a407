#include "engine/marking.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "engine/address_rules.h"
#include "engine/clock.h"
#include "engine/list_rows.h"
#include "engine/spam_report.h"
#include "engine/spam_reporter.h"
#include "log/decision_log.h"
#include "mailapi/extension_interface.h"
#include "message/header_fields.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

constexpr std::string_view kTrashFolderNames[] = {"Trash", "Deleted Items", "Deleted Messages"};

// Calls handle(messageId) for every selected message, in selection order.
template <typename Handler>
void ForEachSelectedMessage(IOEAPIObj& api, Handler handle) {
  for (int32_t id = api.GetFirstSelectedMessageID(); id != -1;
       id = api.GetNextSelectedMessageID()) {
    handle(id);
  }
}

// Which way a mark came, and so what its log line says and whether the message is moved.
enum class Way { kButton, kMoving, kPiping };

// The log's words for a mark: "marked spam", "marked not spam by moving", ...
std::string MarkWords(bool spam, Way way) {
  const std::string words = spam ? "marked spam" : "marked not spam";
  switch (way) {
    case Way::kButton:
      return words;
    case Way::kMoving:
      return words + " by moving";
    case Way::kPiping:
      break;
  }
  return words + " by piping";
}

// A message to mark: where it is in the store, or nowhere (a text piped to the program).
struct Marked {
  IOEMessage& message;
  int32_t folderId = -1;  // -1: not in the store
  int32_t messageId = -1;
  bool move = false;  // moved into the spam folder or the inbox after the lists change
};

// What the two list steps of a mark did, in the words of the log: the address put on one list
// and taken off the other.
std::string ListSteps(AddResult added, std::string_view list, bool removed,
                      std::string_view other) {
  std::string text;
  switch (added) {
    case AddResult::kAdded:
      text = "added to the " + std::string(list);
      break;
    case AddResult::kAlreadyListed:
      text = "already on the " + std::string(list);
      break;
    case AddResult::kInvalid:
      text = "not put on the " + std::string(list) + " (marks list exact addresses)";
      break;
  }
  return text + (removed ? ", taken off the " : ", not on the ") + std::string(other);
}

void LogMark(FilterContext& context, const std::string& what, const Marked& marked,
             const std::string& address, const std::string& lists, const std::string& action) {
  const std::string which = marked.folderId == -1
                                ? std::string("a message not in the mail store")
                                : "message " + std::to_string(marked.messageId) + " of folder " +
                                      std::to_string(marked.folderId);
  context.log.Write(what + ": " + which + " from <" + address + ">: " + lists + "; " + action);
}

// The Spam mark: the black list, off the white list, the move when asked, the counter and the
// report, in that order. Returns false iff a move was asked for and failed.
bool MarkAsSpam(FilterContext& context, const Marked& marked, Way way) {
  const std::string name = marked.message.GetSenderName();
  const std::string headers = marked.message.GetHeaders();
  const std::string content = marked.message.GetContent();
  const std::string address = ExtractSenderAddress(headers);

  RecordCursor& cursor = context.database.ADODataSet1;
  // A mailing list's sender is the list's own address: black-listing it would send every later
  // message of the list to spam.
  std::string lists;
  if (IsMailingListMessage(headers)) {
    lists =
        "a mailing list's message: its sender stays off the black list (\"tervane-lists add "
        "black " +
        address + "\" blocks the whole list)";
  } else {
    const AddResult added = AddListRow(cursor, QueryText::kBlackTableLookup, address, name,
                                       context.clock.Today(), ListWriter::kMarking);
    const bool removed = DeleteFirstListMatch(cursor, QueryText::kWhiteTableLookup, address);
    lists = ListSteps(added, "black list", removed, "white list");
  }
  const bool moved =
      marked.move && context.folderManager.MoveMessage(marked.folderId, context.spamFolderId,
                                                       marked.messageId) != -1;

  cursor.Query(QueryText::kMisc);
  cursor.Edit();
  // The count stops at its largest value instead of overflowing.
  const int32_t count = cursor.FieldAsInteger("spamnumber");
  cursor.SetFieldAsInteger("spamnumber",
                           count == std::numeric_limits<int32_t>::max() ? count : count + 1);
  cursor.Post();

  context.reporter.Navigate(SpamReportAddress(context.reportHost, address, content));
  const std::string where = !marked.move ? "not moved"
                            : moved      ? "moved to spam"
                                         : "could not be moved to spam";
  LogMark(context, MarkWords(/*spam=*/true, way), marked, address, lists,
          where + "; report sent to " + context.reportHost);
  return !marked.move || moved;
}

// The Not Spam mark: the white list, off the black list, and the move into inbox when asked.
// Returns false iff a move was asked for and failed. REQUIRES: inbox when marked.move.
bool MarkAsNotSpam(FilterContext& context, const Marked& marked, Way way, IOEFolder* inbox) {
  const std::string headers = marked.message.GetHeaders();
  const std::string name = marked.message.GetSenderName();
  const std::string address = ExtractSenderAddress(headers);

  RecordCursor& cursor = context.database.ADODataSet1;
  const AddResult added = AddListRow(cursor, QueryText::kWhiteTableLookup, address, name,
                                     context.clock.Today(), ListWriter::kMarking);
  const bool removed = DeleteFirstListMatch(cursor, QueryText::kBlackTableLookup, address);
  std::string lists = ListSteps(added, "white list", removed, "black list");
  // The address is white-listed now, but its domain's entry still sends the rest to spam.
  if (const std::string domain = DomainEntryOf(address);
      !domain.empty() && IsListed(cursor, QueryText::kBlackTableLookup, domain)) {
    lists += "; the black list's " + domain + " still catches the others from that domain";
  }
  const bool moved = marked.move && context.folderManager.MoveMessage(
                                        marked.folderId, inbox->GetID(), marked.messageId) != -1;
  LogMark(context, MarkWords(/*spam=*/false, way), marked, address, lists,
          !marked.move ? "not moved"
          : moved      ? "moved to " + inbox->GetName()
                       : "could not be moved to " + inbox->GetName());
  return !marked.move || moved;
}

// The message messageId of folderId as the commands find it: null when the store has no such
// folder or message, or when the folder is (inSpamFolder false) or is not (inSpamFolder true)
// the spam folder (then *wrongFolder is set).
std::unique_ptr<IOEMessage> MessageToMark(FilterContext& context, int32_t folderId,
                                          int32_t messageId, bool inSpamFolder, bool* wrongFolder) {
  *wrongFolder = (folderId == context.spamFolderId) != inSpamFolder;
  const std::unique_ptr<IOEFolder> folder = context.folderManager.GetFolder(folderId);
  if (*wrongFolder || !folder)
    return nullptr;
  return folder->GetMessage(messageId);
}

MarkOutcome MarkOne(FilterContext& context, int32_t folderId, int32_t messageId, bool asSpam,
                    Way way) {
  // Not Spam asks for the inbox before it looks at the message, as the command always did.
  std::unique_ptr<IOEFolder> inbox;
  if (!asSpam && !(inbox = context.folderManager.GetInboxFolder()))
    return MarkOutcome::kNoSuchMessage;
  bool wrongFolder = false;
  const std::unique_ptr<IOEMessage> message =
      MessageToMark(context, folderId, messageId, /*inSpamFolder=*/!asSpam, &wrongFolder);
  if (!message)
    return wrongFolder ? MarkOutcome::kWrongFolder : MarkOutcome::kNoSuchMessage;
  const Marked marked{*message, folderId, messageId, /*move=*/true};
  const bool moved =
      asSpam ? MarkAsSpam(context, marked, way) : MarkAsNotSpam(context, marked, way, inbox.get());
  return moved ? MarkOutcome::kMarked : MarkOutcome::kNotMoved;
}

bool IsTrashFolderName(std::string_view name) {
  return std::any_of(
      std::begin(kTrashFolderNames), std::end(kTrashFolderNames), [name](std::string_view trash) {
        return std::equal(name.begin(), name.end(), trash.begin(), trash.end(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        });
      });
}

}  // namespace

void MarkSelectedAsSpam(FilterContext& context) {
  ForEachSelectedMessage(context.api, [&](int32_t id) {
    MarkOne(context, context.api.GetSelectedFolderID(), id, /*asSpam=*/true, Way::kButton);
  });
}

void MarkSelectedAsNotSpam(FilterContext& context) {
  ForEachSelectedMessage(context.api, [&](int32_t id) {
    MarkOne(context, context.api.GetSelectedFolderID(), id, /*asSpam=*/false, Way::kButton);
  });
}

MarkOutcome MarkMessageAsSpam(FilterContext& context, int32_t folderId, int32_t messageId) {
  return MarkOne(context, folderId, messageId, /*asSpam=*/true, Way::kPiping);
}

MarkOutcome MarkMessageAsNotSpam(FilterContext& context, int32_t folderId, int32_t messageId) {
  return MarkOne(context, folderId, messageId, /*asSpam=*/false, Way::kPiping);
}

void MarkTextAsSpam(FilterContext& context, IOEMessage& message) {
  MarkAsSpam(context, Marked{message}, Way::kPiping);
}

void MarkTextAsNotSpam(FilterContext& context, IOEMessage& message) {
  MarkAsNotSpam(context, Marked{message}, Way::kPiping, nullptr);
}

void MarkMovedMessage(FilterContext& context, int32_t fromFolderId, int32_t toFolderId,
                      int32_t messageId) {
  const int32_t spam = context.spamFolderId;
  const bool intoSpam = toFolderId == spam && fromFolderId != spam;
  const bool outOfSpam = fromFolderId == spam && toFolderId != spam;
  if (!intoSpam && !outOfSpam)
    return;
  const std::unique_ptr<IOEFolder> folder = context.folderManager.GetFolder(toFolderId);
  if (!folder || (outOfSpam && IsTrashFolderName(folder->GetName())))
    return;  // deleted, in effect: no mark
  const std::unique_ptr<IOEMessage> message = folder->GetMessage(messageId);
  if (!message) {
    context.log.Write(MarkWords(intoSpam, Way::kMoving) + ": message " + std::to_string(messageId) +
                      " moved into " + folder->GetName() + " is gone again; skipped");
    return;
  }
  const Marked marked{*message, toFolderId, messageId, /*move=*/false};
  if (intoSpam)
    MarkAsSpam(context, marked, Way::kMoving);
  else
    MarkAsNotSpam(context, marked, Way::kMoving, nullptr);
}

}  // namespace tervane
