// oectl: the mail client's user, on the command line. Starts and ends the stand-in mail client,
// shows its folders, messages and toolbar, selects messages, clicks buttons, delivers mail, opens
// the program's settings and shows its decision log.

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/command_line.h"
#include "cli/version.h"
#include "control/control_client.h"
#include "control/control_protocol.h"
#include "control/control_socket_file.h"
#include "control/transfer_file.h"
#include "log/log_file.h"
#include "maildir/maildir_delivery.h"
#include "maildir/maildir_mail_store.h"
#include "tools/oectl/answer_text.h"
#include "tools/oectl/delivery_folder.h"

namespace tervane {
namespace {

constexpr int kDefaultTimeoutSeconds = 30;
constexpr size_t kDefaultLogLines = 20;

// A command that cannot be carried out; what() is the one-line message.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::filesystem::path socketPath;
  bool json = false;
  std::chrono::milliseconds timeout{};
  std::vector<std::string> words;  // the command and its arguments
};

// The mail client's request that words ask for; nullopt when they name none or misuse one.
std::optional<ControlRequest> BuildRequest(const std::vector<std::string>& words) {
  const std::optional<ControlCommand> command = ParseControlCommand(words[0]);
  if (!command) {
    return std::nullopt;
  }
  ControlRequest request;
  request.command = *command;
  const size_t arguments = words.size() - 1;
  switch (*command) {
    case ControlCommand::kList:
      if (arguments != 1) {
        return std::nullopt;
      }
      request.folder = words[1];
      break;
    case ControlCommand::kSelect:
      if (arguments < 1) {
        return std::nullopt;
      }
      request.folder = words[1];
      for (size_t i = 2; i < words.size(); ++i) {
        const std::optional<int32_t> id = ParseControlId(words[i]);
        if (!id) {
          return std::nullopt;
        }
        request.ids.push_back(*id);
      }
      break;
    case ControlCommand::kClick:
      if (arguments != 1) {
        return std::nullopt;
      }
      request.caption = words[1];
      break;
    default:
      if (arguments != 0) {
        return std::nullopt;
      }
      break;
  }
  return request;
}

// The server's accepted answer to request: its line and what it says.
std::pair<std::string, ControlAnswer> Ask(const Options& options, const ControlRequest& request) {
  std::string line = ExchangeRequest(options.socketPath, EncodeRequest(request), options.timeout);
  auto decoded = DecodeAnswer(line);
  if (const auto* error = std::get_if<std::string>(&decoded)) {
    throw Refused("unreadable answer from the mail client at " + options.socketPath.string() +
                  ": " + *error);
  }
  ControlAnswer answer = std::get<ControlAnswer>(std::move(decoded));
  if (!answer.ok) {
    throw Refused(answer.error);
  }
  return {std::move(line), std::move(answer)};
}

void PrintJson(const QJsonObject& object) {
  std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << '\n';
}

int RunControl(const Options& options, const ControlRequest& request) {
  const auto [line, answer] = Ask(options, request);
  std::cout << (options.json ? line + '\n' : AnswerText(answer));
  return kExitOk;
}

std::string ReadMessage(const std::string& file) {
  QFile in(QString::fromStdString(file));
  const bool opened =
      file == "-" ? in.open(stdin, QIODevice::ReadOnly) : in.open(QIODevice::ReadOnly);
  QByteArray bytes;
  if (opened) {
    bytes = in.readAll();
  }
  if (!opened || in.error() != QFileDevice::NoError) {
    throw Refused("cannot read " + file + ": " + in.errorString().toStdString());
  }
  return bytes.toStdString();
}

// The directory of the folder with that id, as the running mail client knows it.
std::filesystem::path ServerFolderDir(const Options& options, int32_t id) {
  ControlRequest request;
  request.command = ControlCommand::kFolders;
  ControlAnswer answer;
  try {
    answer = Ask(options, request).second;
  } catch (const ControlClientError& error) {
    throw Refused(std::string(error.what()) + " to look up folder " + std::to_string(id));
  }
  for (const FolderSummary& folder : answer.folders.value_or(std::vector<FolderSummary>{})) {
    if (folder.id == id) {
      return std::filesystem::path(folder.location);
    }
  }
  throw Refused("unknown folder: " + std::to_string(id));
}

int RunDeliver(const Options& options) {
  const std::vector<std::string>& words = options.words;
  if (words.size() < 2 || words.size() > 3) {
    throw UsageError("deliver takes a file and a folder");
  }
  const std::string bytes = ReadMessage(words[1]);
  const std::filesystem::path folder =
      DeliveryFolder(DefaultMaildirRoot(), words.size() == 3 ? words[2] : "Inbox",
                     [&options](int32_t id) { return ServerFolderDir(options, id); });
  const std::filesystem::path file = DeliverMessage(folder, bytes);
  if (options.json) {
    PrintJson({{"ok", true}, {"path", QString::fromStdString(file.string())}});
  } else {
    std::cout << file.string() << '\n';
  }
  return kExitOk;
}

// The log is a file: it is read whether the program runs or not.
int RunLog(const Options& options) {
  const std::vector<std::string>& words = options.words;
  const std::optional<int32_t> count =
      words.size() == 2 ? ParseControlId(words[1]) : static_cast<int32_t>(kDefaultLogLines);
  if (words.size() > 2 || !count || *count < 0) {
    throw UsageError("log takes a number of lines");
  }
  const std::filesystem::path file = DefaultLogFile();
  std::error_code ignored;
  if (!std::filesystem::exists(file, ignored) &&
      !std::filesystem::exists(RotatedLogFile(file), ignored)) {
    throw Refused("no decision log at " + file.string());
  }
  const std::vector<std::string> lines = LastLogLines(file, static_cast<size_t>(*count));
  if (options.json) {
    QJsonArray array;
    for (const std::string& line : lines) {
      array.append(QString::fromStdString(line));
    }
    PrintJson({{"ok", true}, {"lines", array}});
  } else {
    for (const std::string& line : lines) {
      std::cout << line << '\n';
    }
  }
  return kExitOk;
}

// Asks the program, not the mail client: the program shows its settings window.
int RunSettings(const Options& options) {
  if (options.words.size() != 1) {
    throw UsageError("settings takes no arguments");
  }
  try {
    ControlRequest request;
    request.command = ControlCommand::kSettings;
    Exchange(options.socketPath, request, options.timeout);
  } catch (const ControlNotRunning&) {
    throw Refused(std::string(kProductName) + " is not running");
  }
  if (options.json) {
    PrintJson({{"ok", true}});
  }
  return kExitOk;
}

// Asks the program to mark messages as Spam or Not Spam: the FILEs, as many per request as one
// request line holds, or the message on standard input, passed through a private transfer file.
int RunMark(const Options& options, ControlCommand command) {
  // A path takes at most three bytes a byte on the wire (percent-encoded), plus its quotes.
  constexpr size_t kRequestBytes = kMaxControlLineBytes / 2;
  std::vector<ControlRequest> requests(1);
  requests[0].command = command;
  std::optional<TransferFolder> transfer;
  if (options.words.size() == 1) {
    const std::string message = ReadMessage("-");
    if (message.empty()) {
      throw Refused("nothing on standard input: no message to mark");
    }
    transfer.emplace();
    requests[0].transfer = transfer->NewFile("message", message).string();
  }
  size_t bytes = 0;
  for (size_t i = 1; i < options.words.size(); ++i) {
    const std::filesystem::path file = std::filesystem::absolute(options.words[i]);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
      throw Refused("cannot read " + options.words[i] + ": not a message file");
    }
    const size_t size = 3 * file.native().size() + 3;
    if (bytes + size > kRequestBytes && !requests.back().files.empty()) {
      requests.push_back(ControlRequest{});
      requests.back().command = command;
      bytes = 0;
    }
    requests.back().files.push_back(file.string());
    bytes += size;
  }
  try {
    for (const ControlRequest& request : requests) {
      RunControl(options, request);
    }
    return kExitOk;
  } catch (const ControlNotRunning&) {
    throw Refused(std::string(kProductName) + " is not running");
  }
}

int Run(const Options& options) {
  const std::string& command = options.words[0];
  if (command == "deliver") {
    return RunDeliver(options);
  }
  if (command == "log") {
    return RunLog(options);
  }
  if (command == "settings") {
    return RunSettings(options);
  }
  if (command == "spam" || command == "notspam") {
    return RunMark(options, command == "spam" ? ControlCommand::kSpam : ControlCommand::kNotSpam);
  }
  const std::optional<ControlCommand> known = ParseControlCommand(command);
  if (!known || !IsMailClientCommand(*known)) {
    throw UsageError("unknown command " + command);
  }
  if (const std::optional<ControlRequest> request = BuildRequest(options.words)) {
    return RunControl(options, *request);
  }
  throw UsageError("wrong arguments for " + command);
}

}  // namespace
}  // namespace tervane

int main(int argc, char** argv) {
  using namespace tervane;
  CommandLine commandLine("oectl",
                          {"[--socket PATH] [--json] [--timeout SECONDS] COMMAND [ARGUMENT...]"});
  commandLine.Option("socket", "PATH", "the program's control socket")
      .Flag("json", "print the answer as JSON")
      .Option("timeout", "SECONDS", "wait at most this long for an answer (30)")
      .Text(
          "Commands: status, start, stop, folders, list FOLDER, select FOLDER [ID...],\n"
          "buttons, click CAPTION, spam [FILE...], notspam [FILE...], settings, log [N],\n"
          "deliver FILE [FOLDER]; see oectl(1).\n"
          "Exit status: 0 done, 1 refused or no program running, 2 wrong usage.\n");
  if (const std::optional<int> exit = commandLine.Parse(CommandWords(argc, argv))) {
    return *exit;
  }
  try {
    Options options;
    options.json = commandLine.Has("json");
    options.socketPath = commandLine.Value("socket").value_or(DefaultControlSocketPath().string());
    if (options.socketPath.empty()) {
      throw UsageError("--socket needs a path");
    }
    options.timeout = std::chrono::seconds(
        commandLine.Number("timeout", 1, 24 * 3600).value_or(kDefaultTimeoutSeconds));
    options.words = commandLine.Arguments();
    if (options.words.empty()) {
      throw UsageError("no command");
    }
    return Run(options);
  } catch (const UsageError& error) {
    return commandLine.WrongUsage(error.what());
  } catch (const std::exception& error) {
    // Refused commands, missing programs, failed deliveries: one line, and the refusal's code.
    std::cerr << "oectl: " << error.what() << '\n';
    return kExitRefused;
  }
}
