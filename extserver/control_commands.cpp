#include "extserver/control_commands.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <variant>

#include "extserver/control_protocol.h"
#include "extserver/extension_server.h"

namespace tervane {
namespace {

// Thrown to refuse a request with a one-line message.
struct Refusal {
  std::string message;
};

int32_t FolderId(ExtensionServer& server, const std::string& nameOrId) {
  const std::optional<int32_t> id = server.ResolveFolder(CanonicalFolderName(nameOrId));
  if (!id) {
    throw Refusal{"unknown folder: " + nameOrId};
  }
  return *id;
}

// Selection fails only for an unknown message; names the first one that is not in the folder.
Refusal UnknownMessage(ExtensionServer& server, const ControlRequest& request, int32_t folderId) {
  const std::vector<MessageSummary> messages =
      server.Messages(folderId).value_or(std::vector<MessageSummary>{});
  for (const int32_t id : request.ids) {
    const bool known = std::any_of(messages.begin(), messages.end(),
                                   [id](const MessageSummary& m) { return m.id == id; });
    if (!known) {
      return {"no such message in " + request.folder + ": " + std::to_string(id)};
    }
  }
  return {"cannot select in " + request.folder};
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
        folder.dir = std::filesystem::absolute(folder.dir);  // clients work elsewhere
      }
      break;
    case ControlCommand::kList: {
      answer.messages = server.Messages(FolderId(server, request.folder));
      if (!answer.messages) {
        throw Refusal{"unknown folder: " + request.folder};
      }
      break;
    }
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
        throw Refusal{"unknown button: " + request.caption};
      }
      break;
  }
  return answer;
}

// The program's command named in line, with the request object, or nothing when line names none.
std::optional<std::pair<const ProgramCommand*, QJsonObject>> ProgramRequest(
    const ExtensionServer& server, std::string_view line) {
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
  if (!document.isObject()) {
    return std::nullopt;
  }
  QJsonObject request = document.object();
  const ProgramCommand* command =
      server.FindProgramCommand(request.value("cmd").toString().toStdString());
  if (command == nullptr) {
    return std::nullopt;
  }
  return std::make_pair(command, std::move(request));
}

std::string AnswerProgramRequest(const ProgramCommand& command, const QJsonObject& request) {
  try {
    QJsonObject answer = command(request);
    answer.insert("ok", true);
    return QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString();
  } catch (const std::exception& error) {
    return EncodeError(error.what());
  }
}

}  // namespace

std::string AnswerControlRequest(ExtensionServer& server, std::string_view line) {
  if (const auto program = ProgramRequest(server, line)) {
    return AnswerProgramRequest(*program->first, program->second);
  }
  auto decoded = DecodeRequest(line);
  if (const auto* error = std::get_if<std::string>(&decoded)) {
    return EncodeError(*error);
  }
  try {
    return EncodeAnswer(Carry(server, std::get<ControlRequest>(decoded)));
  } catch (const Refusal& refusal) {
    return EncodeError(refusal.message);
  } catch (const std::exception& error) {
    // A handler of the program failed; the server keeps serving.
    return EncodeError(std::string("the mail client failed: ") + error.what());
  }
}

}  // namespace tervane
