#include "shell/piped_marks.h"

#include <optional>

#include "control/transfer_file.h"
#include "engine/filter_context.h"
#include "engine/marking.h"
#include "mailapi/mail_store.h"
#include "maildir/message_file.h"
#include "message/header_fields.h"
#include "message/text_message.h"

namespace tervane {
namespace {

// The message of the store with that text's Message-ID. Spam looks in every folder but the spam
// folder first (the inbox first), Not Spam in the spam folder first, then in the others.
std::optional<IMailStore::MessageRef> FindByMessageId(IMailStore& store, FilterContext& context,
                                                      const std::string& text, bool asSpam) {
  TextMessage message(text);
  const std::string messageId = MessageIdField(message.GetHeaders());
  if (messageId.empty())
    return std::nullopt;
  const std::vector<FolderSummary> folders = store.Folders();
  for (const bool inSpamFolder : {!asSpam, asSpam}) {
    for (const FolderSummary& folder : folders) {
      if ((folder.id == context.spamFolderId) != inSpamFolder)
        continue;
      if (const std::optional<int32_t> id = store.FindMessageId(folder.id, messageId))
        return IMailStore::MessageRef{folder.id, *id};
    }
  }
  return std::nullopt;
}

std::string StoredOutcome(MarkOutcome outcome, bool asSpam) {
  switch (outcome) {
    case MarkOutcome::kMarked:
      return asSpam ? "marked spam; moved to spam" : "marked not spam; moved to the inbox";
    case MarkOutcome::kNotMoved:
      return asSpam ? "marked spam; could not be moved to spam"
                    : "marked not spam; could not be moved to the inbox";
    case MarkOutcome::kWrongFolder:
      return asSpam ? "already in the spam folder; nothing changed"
                    : "not in the spam folder; nothing changed";
    case MarkOutcome::kNoSuchMessage:
      break;
  }
  return "gone from the mail store; nothing changed";
}

// Marks one message given as its file (or nothing, for the piped one) and its text.
std::string MarkOne(IMailStore& store, FilterContext& context, const std::string* file,
                    const std::string& text, bool asSpam) {
  std::optional<IMailStore::MessageRef> stored;
  if (file != nullptr)
    stored = store.FindMessageFile(*file);
  if (!stored)
    stored = FindByMessageId(store, context, text, asSpam);
  if (stored) {
    const MarkOutcome outcome =
        asSpam ? MarkMessageAsSpam(context, stored->folderId, stored->messageId)
               : MarkMessageAsNotSpam(context, stored->folderId, stored->messageId);
    return StoredOutcome(outcome, asSpam);
  }
  TextMessage message(text);
  if (asSpam) {
    MarkTextAsSpam(context, message);
    return "not in the mail store: marked spam and reported; nothing moved";
  }
  MarkTextAsNotSpam(context, message);
  return "not in the mail store: marked not spam; nothing moved";
}

}  // namespace

std::vector<std::string> MarkPipedMessages(IMailStore& store, FilterContext& context,
                                           const ControlRequest& request) {
  const bool asSpam = request.command == ControlCommand::kSpam;
  std::vector<std::string> lines;
  if (!request.transfer.empty()) {
    lines.push_back("standard input: " +
                    MarkOne(store, context, nullptr, ReadTransferFile(request.transfer), asSpam));
    return lines;
  }
  for (const std::string& file : request.files) {
    const std::optional<std::string> headers = ReadMessageHeaders(std::filesystem::path(file));
    const std::optional<std::string> body = ReadMessageBody(std::filesystem::path(file));
    if (!headers || !body) {
      lines.push_back(file + ": cannot be read as a message; nothing changed");
      continue;
    }
    lines.push_back(file + ": " + MarkOne(store, context, &file, *headers + "\n" + *body, asSpam));
  }
  return lines;
}

}  // namespace tervane
