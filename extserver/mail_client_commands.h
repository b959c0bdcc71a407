#ifndef TERVANE_EXTSERVER_MAIL_CLIENT_COMMANDS_H_
#define TERVANE_EXTSERVER_MAIL_CLIENT_COMMANDS_H_

#include "control/control_protocol.h"

namespace tervane {

class ExtensionServer;

// Carries out one of the mail client's own requests (IsMailClientCommand) on server, as its user
// would: start, stop and click run the program's handlers before this returns. Throws
// ControlRefused for an unknown folder, message or button, and for a handler that failed.
ControlAnswer AnswerMailClientRequest(ExtensionServer& server, const ControlRequest& request);

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_MAIL_CLIENT_COMMANDS_H_
