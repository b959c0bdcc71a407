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
#include "extserver/control_client.h"
#include "extserver/control_protocol.h"
#include "extserver/extension_server.h"
#include "extserver/maildir_delivery.h"
#include "log/log_file.h"
#include "tools/oectl/answer_text.h"
#include "tools/oectl/delivery_folder.h"

namespace tervane {
namespace {

constexpr std::string_view kProgram = "oectl";
constexpr int kRefused = 1;
constexpr int kDefaultTimeoutSeconds = 30;
constexpr size_t kDefaultLogLines = 20;

constexpr const char* kUsageText =
    "usage: oectl [--socket PATH] [--json] [--timeout SECONDS] COMMAND [ARGUMENT...]\n"
    "       oectl --help | --version\n"
    "  status                  running, or stopped while the program waits detached\n"
    "  start                   starts the mail client (the program attaches)\n"
    "  stop                    ends the mail client (the program detaches)\n"
    "  folders                 the folders: id, name, number of messages\n"
    "  list FOLDER             the folder's messages: id, sender, subject\n"
    "  select FOLDER [ID...]   selects those messages of the folder, in that order\n"
    "  buttons                 the captions of the toolbar's buttons, in order\n"
    "  click CAPTION           clicks the toolbar button with that caption\n"
    "  settings                opens the program's settings window\n"
    "  log [N]                 the last N (default 20) lines of the program's decision log\n"
    "  deliver FILE [FOLDER]   delivers FILE (- for standard input) as new mail into FOLDER\n"
    "                          (default Inbox) of $MAILDIR or ~/Maildir; prints its file\n"
    "FOLDER is a folder's name or id; inbox in any letter case is Inbox. Output is\n"
    "tab-separated, one row per line; --json prints the answer as JSON. --socket names the\n"
    "mail client's control socket (default $XDG_RUNTIME_DIR/tervane/mailclient.sock, else\n"
    "/tmp/tervane-UID/mailclient.sock); oectl waits at most --timeout seconds (30) for an\n"
    "answer. Exit status: 0 done, 1 refused or no program running, 2 wrong usage.\n";

// A command that cannot be carried out; what() is the one-line message.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::filesystem::path socketPath;
  bool json = false;
  int timeoutSeconds = kDefaultTimeoutSeconds;
  std::vector<std::string> words;  // the command and its arguments
};

// The options and words of args, or what is wrong with them.
std::variant<Options, std::string> ParseArguments(const std::vector<std::string_view>& args) {
  Options options;
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (optionsEnd || arg == "-" || !arg.starts_with("-")) {
      options.words.emplace_back(arg);
    } else if (arg == "--") {
      optionsEnd = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--socket") {
      if (!hasValue || args[i + 1].empty()) {
        return std::string("--socket needs a path");
      }
      options.socketPath = std::filesystem::path(args[++i]);
    } else if (arg == "--timeout") {
      const std::optional<int32_t> seconds =
          hasValue ? ParseControlId(args[++i]) : std::optional<int32_t>();
      if (!seconds || *seconds <= 0) {
        return std::string("--timeout needs a whole number of seconds");
      }
      options.timeoutSeconds = *seconds;
    } else {
      return "unknown option " + std::string(arg);
    }
  }
  if (options.words.empty()) {
    return std::string("no command");
  }
  if (options.socketPath.empty()) {
    options.socketPath = DefaultControlSocketPath();
  }
  return options;
}

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

std::chrono::milliseconds Timeout(const Options& options) {
  return std::chrono::seconds(options.timeoutSeconds);
}

// The server's accepted answer to request: its line and what it says.
std::pair<std::string, ControlAnswer> Ask(const Options& options, const ControlRequest& request) {
  std::string line = ExchangeRequest(options.socketPath, EncodeRequest(request), Timeout(options));
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
      return folder.dir;
    }
  }
  throw Refused("unknown folder: " + std::to_string(id));
}

int RunDeliver(const Options& options) {
  const std::vector<std::string>& words = options.words;
  if (words.size() < 2 || words.size() > 3) {
    return WrongUsage(kProgram, kUsageText);
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
    return WrongUsage(kProgram, kUsageText);
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
    return WrongUsage(kProgram, kUsageText);
  }
  try {
    ExchangeCommand(options.socketPath, QJsonObject{{"cmd", "settings"}}, Timeout(options));
  } catch (const ControlNotRunning&) {
    throw Refused(std::string(kProductName) + " is not running");
  }
  if (options.json) {
    PrintJson({{"ok", true}});
  }
  return kExitOk;
}

int Run(const std::vector<std::string_view>& args) {
  if (const std::optional<int> answered = AnswerStandardOptions(kProgram, kUsageText, args)) {
    return *answered;
  }
  auto parsed = ParseArguments(args);
  if (const auto* problem = std::get_if<std::string>(&parsed)) {
    return WrongUsage(kProgram, kUsageText, *problem);
  }
  const Options& options = std::get<Options>(parsed);
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
  if (!ParseControlCommand(command)) {
    return WrongUsage(kProgram, kUsageText, "unknown command " + command);
  }
  if (const std::optional<ControlRequest> request = BuildRequest(options.words)) {
    return RunControl(options, *request);
  }
  return WrongUsage(kProgram, kUsageText);
}

}  // namespace
}  // namespace tervane

int main(int argc, char** argv) {
  try {
    return tervane::Run(tervane::CommandWords(argc, argv));
  } catch (const std::exception& error) {
    // Refused commands, missing programs, failed deliveries: one line, and the refusal's code.
    std::cerr << "oectl: " << error.what() << '\n';
    return tervane::kRefused;
  }
}
