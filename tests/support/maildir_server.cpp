#include "tests/support/maildir_server.h"

#include "extserver/mail_client_commands.h"

namespace tervane::testing {

MaildirServer::MaildirServer(std::filesystem::path maildir, std::filesystem::path socket,
                             ControlHandler programCommands)
    : MaildirStoreHolder(std::move(maildir)), ExtensionServer(MaildirStoreHolder::maildir) {
  if (socket.empty())
    return;
  control_ = std::make_unique<ControlServer>(socket, [this, programCommands](
                                                         const ControlRequest& request) {
    if (IsMailClientCommand(request.command))
      return AnswerMailClientRequest(*this, request);
    if (!programCommands)
      throw ControlRefused("unknown command: " + std::string(ControlCommandName(request.command)));
    return programCommands(request);
  });
}

}  // namespace tervane::testing
