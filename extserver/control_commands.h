#ifndef TERVANE_EXTSERVER_CONTROL_COMMANDS_H_
#define TERVANE_EXTSERVER_CONTROL_COMMANDS_H_

#include <string>
#include <string_view>

namespace tervane {

class ExtensionServer;

// Carries out one request line of the control socket on server and returns its answer line
// (without a line break). Never throws: a bad request or a refused command gives a refusal.
// start, stop and click run the program's handlers before this returns; a command the program
// set (ExtensionServer::SetProgramCommand) is answered by it.
std::string AnswerControlRequest(ExtensionServer& server, std::string_view line);

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_CONTROL_COMMANDS_H_
