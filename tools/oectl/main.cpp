// oectl: the mail client's user, on the command line. Starts and ends the stand-in mail client,
// shows its folders, messages and toolbar, selects messages, clicks buttons, and delivers mail.

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
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

#include "extserver/control_protocol.h"
#include "extserver/extension_server.h"
#include "extserver/maildir_delivery.h"
#include "mailclient/extension_interface.h"
#include "tools/oectl/answer_text.h"
#include "extserver/control_client.h"

namespace tervane {
namespace {

constexpr int kOk = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kDefaultTimeoutSeconds = 30;

constexpr const char* kUsageText =
    "usage: oectl [--socket PATH] [--json] [--timeout SECONDS] COMMAND [ARGUMENT...]\n"
    "  status                  whether the mail client runs: running or stopped\n"
    "  start                   starts the mail client\n"
    "  stop                    ends the mail client\n"
    "  folders                 the folders: id, name, number of messages\n"
    "  list FOLDER             the folder's messages: id, sender, subject\n"
    "  select FOLDER [ID...]   selects those messages of the folder, in that order\n"
    "  buttons                 the captions of the toolbar's buttons, in order\n"
    "  click CAPTION           clicks the toolbar button with that caption\n"
    "  deliver FILE [FOLDER]   delivers FILE (- for standard input) as new mail into FOLDER\n"
    "                          (default Inbox) of $MAILDIR or ~/Maildir; prints its file\n"
    "FOLDER is a folder's name or id. Output is tab-separated, one row per line; --json\n"
    "prints the answer as JSON. --socket names the mail client's control socket (default\n"
    "$XDG_RUNTIME_DIR/tervane/mailclient.sock, else /tmp/tervane-UID/mailclient.sock);\n"
    "oectl waits at most --timeout seconds (30) for an answer.\n";

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

std::optional<int32_t> ParseInt32(std::string_view text) {
  int32_t id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return id;
}

// Returns nullopt on wrong usage.
std::optional<Options> ParseArguments(const std::vector<std::string_view>& args) {
  Options options;
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnd || arg == "-" || !arg.starts_with("-")) {
      options.words.emplace_back(arg);
    } else if (arg == "--") {
      optionsEnd = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--socket" && i + 1 < args.size() && !args[i + 1].empty()) {
      // Absolute, since Qt would look for a relative name in the temporary folder.
      options.socketPath = std::filesystem::absolute(std::filesystem::path(args[++i]));
    } else if (arg == "--timeout" && i + 1 < args.size()) {
      const std::optional<int32_t> seconds = ParseInt32(args[++i]);
      if (!seconds || *seconds <= 0) {
        return std::nullopt;
      }
      options.timeoutSeconds = *seconds;
    } else {
      return std::nullopt;
    }
  }
  if (options.words.empty()) {
    return std::nullopt;
  }
  if (options.socketPath.empty()) {
    options.socketPath = DefaultControlSocketPath();
  }
  return options;
}

// The request that words ask for; nullopt on wrong usage.
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
        const std::optional<int32_t> id = ParseInt32(words[i]);
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
  std::string line = ExchangeRequest(options.socketPath, EncodeRequest(request),
                                     std::chrono::seconds(options.timeoutSeconds));
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

int RunControl(const Options& options, const ControlRequest& request) {
  const auto [line, answer] = Ask(options, request);
  std::cout << (options.json ? line + '\n' : AnswerText(answer));
  return kOk;
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

// The name of the folder with that id, as the running mail client knows it.
std::string FolderName(const Options& options, int32_t id) {
  ControlRequest request;
  request.command = ControlCommand::kFolders;
  ControlAnswer answer;
  try {
    answer = Ask(options, request).second;
  } catch (const ControlClientError& error) {
    throw Refused(std::string(error.what()) + " to look up folder " + std::to_string(id));
  }
  if (answer.folders) {
    for (const FolderSummary& folder : *answer.folders) {
      if (folder.id == id) {
        return folder.name;
      }
    }
  }
  throw Refused("unknown folder: " + std::to_string(id));
}

int RunDeliver(const Options& options) {
  const std::vector<std::string>& words = options.words;
  if (words.size() < 2 || words.size() > 3) {
    return kUsage;
  }
  const std::string bytes = ReadMessage(words[1]);
  std::string folder = words.size() == 3 ? words[2] : "Inbox";
  if (const std::optional<int32_t> id = ParseInt32(folder)) {
    folder = FolderName(options, *id);
  }
  const std::filesystem::path file =
      DeliverMessage(MaildirFolderPath(DefaultMaildirRoot(), folder), bytes);
  if (options.json) {
    const QJsonObject answer{{"ok", true}, {"path", QString::fromStdString(file.string())}};
    std::cout << QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString() << '\n';
  } else {
    std::cout << file.string() << '\n';
  }
  return kOk;
}

int Run(const std::vector<std::string_view>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kUsageText;
    return kOk;
  }
  const std::optional<Options> options = ParseArguments(args);
  int result = kUsage;
  if (options && options->words[0] == "deliver") {
    result = RunDeliver(*options);
  } else if (options) {
    if (const std::optional<ControlRequest> request = BuildRequest(options->words)) {
      result = RunControl(*options, *request);
    }
  }
  if (result == kUsage) {
    std::cerr << kUsageText;
  }
  return result;
}

}  // namespace
}  // namespace tervane

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  try {
    return tervane::Run(args);
  } catch (const std::exception& error) {
    // Refused commands, missing servers, failed deliveries: one line, and the refusal's code.
    std::cerr << "oectl: " << error.what() << '\n';
    return tervane::kRefused;
  }
}
