#include "extserver/mail_client_commands.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "extserver/extension_server.h"

namespace tervane {
namespace {

int32_t FolderId(ExtensionServer& server, const std::string& nameOrId) {
  const std::optional<int32_t> id = server.ResolveFolder(CanonicalFolderName(nameOrId));
  if (!id) {
    throw ControlRefused("unknown folder: " + nameOrId);
  }
  return *id;
}

// Selection fails only for an unknown message; names the first one that is not in the folder.
ControlRefused UnknownMessage(ExtensionServer& server, const ControlRequest& request,
                              int32_t folderId) {
  for (const int32_t id : request.ids) {
    if (!server.store().HasMessage(folderId, id)) {
      return ControlRefused("no such message in " + request.folder + ": " + std::to_string(id));
    }
  }
  return ControlRefused("cannot select in " + request.folder);
}

ControlAnswer Carry(ExtensionServer& server, const ControlRequest& request) {
  ControlAnswer answer;
  switch (request.command) {
    case ControlCommand::kStatus:
      answer.running = server.IsMailClientRunning();
      break;
    case ControlCommand::kStart:
      server.StartMailClient();
      break;
    case ControlCommand::kStop:
      server.StopMailClient();
      break;
    case ControlCommand::kFolders:
      answer.folders = server.Folders();
      for (FolderSummary& folder : *answer.folders) {
        if (!folder.location.empty()) {
          folder.location =
              std::filesystem::absolute(folder.location).string();  // clients work elsewhere
        }
      }
      break;
    case ControlCommand::kList:
      answer.messages = server.Messages(FolderId(server, request.folder));
      if (!answer.messages) {
        throw ControlRefused("unknown folder: " + request.folder);
      }
      break;
    case ControlCommand::kSelect: {
      const int32_t folderId = FolderId(server, request.folder);
      if (!server.Select(folderId, request.ids)) {
        throw UnknownMessage(server, request, folderId);
      }
      break;
    }
    case ControlCommand::kButtons:
      answer.buttons = server.ButtonCaptions();
      break;
    case ControlCommand::kClick:
      if (!server.Click(request.caption)) {
        throw ControlRefused("unknown button: " + request.caption);
      }
      break;
    default:
      throw ControlRefused("not a command of the mail client: " +
                           std::string(ControlCommandName(request.command)));
  }
  return answer;
}

}  // namespace

ControlAnswer AnswerMailClientRequest(ExtensionServer& server, const ControlRequest& request) {
  try {
    return Carry(server, request);
  } catch (const ControlRefused&) {
    throw;
  } catch (const std::exception& error) {
    // A handler of the program failed; the server keeps serving.
    throw ControlRefused(std::string("the mail client failed: ") + error.what());
  }
}

}  // namespace tervane
