#include "shell/program.h"

#include <string>

#include "base/xdg_dirs.h"
#include "extserver/mail_client_commands.h"
#include "imapstore/imap_mail_store.h"
#include "log/decision_log.h"
#include "maildir/maildir_mail_store.h"
#include "shell/piped_marks.h"
#include "shell/reference_reopen.h"

namespace tervane {
namespace {

// The user's mail store, as the configuration names it: an IMAP account, connected at once, or
// a Maildir. What it meets that the user should know of (a file in new/ that is no mail, a move
// that failed, a server out of reach) goes to the decision log.
std::unique_ptr<IMailStore> OpenMailStore(const ProgramConfig& config, DecisionLog& log) {
  const auto toLog = [&log](const std::string& text) { log.Write(text); };
  if (const std::optional<ImapAccountConfig>& account = config.imap) {
    imap::ImapStoreOptions options;
    options.url = account->url;
    options.password = {account->passwordCommand, account->passwordFile};
    options.caFile = account->caFile;
    options.stateFile = imap::MailboxStatesFile(ProgramHomeFolder(XdgHome::kState), account->url);
    auto store = std::make_unique<imap::ImapMailStore>(std::move(options));
    store->SetNoticeHandler(toLog);
    store->Start();
    return store;
  }
  std::unique_ptr<IMailStore> store =
      std::make_unique<MaildirMailStore>(config.maildir.value_or(DefaultMaildirRoot()));
  store->SetNoticeHandler(toLog);
  return store;
}

}  // namespace

Program::Program(ProgramOptions options, DecisionLog& log)
    : options_(std::move(options)),
      log_(log),
      store_(OpenMailStore(options_.config, log)),
      server_(*store_),
      control_(options_.controlSocket.empty()
                   ? nullptr
                   : std::make_unique<ControlServer>(
                         options_.controlSocket,
                         [this](const ControlRequest& request) { return Answer(request); })),
      mainWindow_(options_.restarted, options_.listsFolder,
                  ProgramParts{server_, database_, securityLevel_, spamFolderId_, windows_, log_,
                               options_.config.markByMoving},
                  options_.attachRetryInterval),
      aboutBox_(mainWindow_.shell()),
      settings_(database_, securityLevel_),
      lists_(database_, options_.listsFolder, securityLevel_, [this] { BetweenImportSlices(); }) {
  windows_.aboutBox = &aboutBox_;
  windows_.settings = &settings_;
  // The mail client of an IMAP account never ends: the detach's harvest comes once a day.
  if (options_.config.imap)
    reattach_ = std::make_unique<DailyReattach>(server_, options_.reattachInterval);
  complete_ = true;
}

Program::~Program() = default;

void Program::BetweenImportSlices() {
  store_->AnnounceArrivedMail();
  if (options_.endRequested && options_.endRequested())
    throw ControlRefused("Tervane Anti-Spam is ending: the import was taken back");
}

ControlAnswer Program::Answer(const ControlRequest& request) {
  if (request.command == ControlCommand::kStatus) {
    ControlAnswer answer = AnswerMailClientRequest(server_, request);
    answer.store = store_->Status();
    return answer;
  }
  if (IsMailClientCommand(request.command))
    return AnswerMailClientRequest(server_, request);
  if (!complete_)
    throw ControlRefused("Tervane Anti-Spam is starting; try again in a moment");
  ControlAnswer answer;
  switch (request.command) {
    case ControlCommand::kSettings:
      // The window shows the open lists: it opens only while the program is attached.
      if (!mainWindow_.IsAttached())
        throw ControlRefused(
            "Tervane Anti-Spam is not attached to the mail client; its settings open while the "
            "mail client runs");
      mainWindow_.Config1Click();
      break;
    case ControlCommand::kReopenReference:
      answer.reopened = ReopenReferenceDatabase(database_, options_.listsFolder);
      if (answer.reopened)
        mainWindow_.ReferenceListReopened();
      break;
    case ControlCommand::kLists:
      answer.lists = lists_.Answer(request.lists);
      break;
    case ControlCommand::kSpam:
    case ControlCommand::kNotSpam:
      // Marks change the open lists: they are taken only while the program is attached.
      if (!mainWindow_.IsAttached())
        throw ControlRefused(
            "Tervane Anti-Spam is not attached to the mail client; it marks mail while the mail "
            "client runs");
      answer.marked = MarkPipedMessages(*store_, mainWindow_.context(), request);
      break;
    default:
      throw ControlRefused("unknown command: " + std::string(ControlCommandName(request.command)));
  }
  return answer;
}

}  // namespace tervane
