// tervane-lists: the white, black and reference lists and the security level from the command
// line: show and search, add and remove, import and export, level and counters. Works on the
// database files while no program runs on them, and through the running program while it does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "engine/address_rules.h"
#include "extserver/extension_server.h"
#include "extserver/unique_fd.h"
#include "lists/list_file.h"
#include "store/data_folder.h"
#include "tools/lists/list_access.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

constexpr char kProgram[] = "tervane-lists";
constexpr int kFailed = 1;
constexpr int kDoneInPart = 3;
// A list file larger than this is refused before it is read.
constexpr off_t kMaxListFileBytes = off_t{256} << 20;

constexpr const char* kUsageText =
    "usage: tervane-lists [--folder DIR] [--socket PATH] COMMAND [ARGUMENT...]\n"
    "       tervane-lists --help | --version\n"
    "  show white|black|reference [--match TEXT] [--json]\n"
    "                        the list's rows: address, name, date (tab-separated), printed as\n"
    "                        they are read; --match keeps the rows whose address or name holds\n"
    "                        TEXT, letter case ignored\n"
    "  add white|black ADDRESS [NAME]\n"
    "                        adds ADDRESS unless it is listed already (letter case ignored)\n"
    "  remove white|black ADDRESS\n"
    "                        removes every row of ADDRESS\n"
    "  import white|black FILE|- [--format text|csv] [--verbose]\n"
    "                        adds the addresses of FILE (- reads standard input) in one step,\n"
    "                        all or nothing, skipping invalid and listed ones; --verbose names\n"
    "                        the lines of the invalid ones\n"
    "  export white|black|reference [FILE|-] [--format text|csv]\n"
    "                        writes the list to FILE (default: standard output)\n"
    "  level [high|medium|low]\n"
    "                        shows or sets the security level\n"
    "  stats [--json]        the security level, the counters and the last harvest\n"
    "Plain text has one address per line, optionally a tab and a name; '#' begins a comment.\n"
    "CSV has the header mail,name,date. The format is --format's, else CSV for a FILE ending\n"
    "in .csv, else text. An address with blanks, quotes or angle brackets is invalid.\n"
    "DIR is the folder of cust.mdb and ospam.mdb (default: the program's own lists). While the\n"
    "program runs on them the commands go through it, at PATH (default\n"
    "$XDG_RUNTIME_DIR/tervane/mailclient.sock); otherwise they work on the files.\n"
    "Exit status: 0 done, 1 failed or refused (nothing changed), 2 wrong usage, 3 imported\n"
    "with invalid lines skipped.\n";

struct Options {
  std::optional<fs::path> folder;
  std::optional<fs::path> socket;
  std::optional<std::string> match;
  std::optional<ListFileFormat> format;
  bool json = false;
  bool verbose = false;
  std::vector<std::string> words;  // the command and its arguments
};

// Wrong usage; what() is the problem.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command that failed; what() is the one-line message.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Options ParseArguments(const std::vector<std::string_view>& args) {
  Options options;
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnd || arg == "-" || !arg.starts_with("-")) {
      options.words.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    if (arg == "--json") {
      options.json = true;
      continue;
    }
    if (arg == "--verbose") {
      options.verbose = true;
      continue;
    }
    if (arg != "--folder" && arg != "--socket" && arg != "--match" && arg != "--format")
      throw UsageError("unknown option " + std::string(arg));
    if (++i == args.size())
      throw UsageError(std::string(arg) + " needs a value");
    const std::string value(args[i]);
    if (arg == "--folder") {
      options.folder = value;
    } else if (arg == "--socket") {
      options.socket = value;
    } else if (arg == "--match") {
      options.match = value;
    } else {
      options.format = ListFileFormatNamed(value);
      if (!options.format)
        throw UsageError("--format is text or csv, not " + value);
    }
  }
  return options;
}

// The command's words and options make sense together; throws UsageError.
void CheckUsage(const Options& options) {
  if (options.words.empty())
    throw UsageError("no command");
  const std::string& command = options.words[0];
  const size_t count = options.words.size();
  static const std::map<std::string, std::pair<size_t, size_t>, std::less<>> kWordCounts = {
      {"show", {2, 2}},   {"add", {3, 4}},   {"remove", {3, 3}}, {"import", {3, 3}},
      {"export", {2, 3}}, {"level", {1, 2}}, {"stats", {1, 1}},
  };
  const auto known = kWordCounts.find(command);
  if (known == kWordCounts.end())
    throw UsageError("unknown command " + command);
  if (count < known->second.first || count > known->second.second)
    throw UsageError("wrong number of arguments for " + command);
  if (command != "level" && command != "stats") {
    const std::optional<ListKind> list = ListKindNamed(options.words[1]);
    if (!list)
      throw UsageError("no list named " + options.words[1]);
    if ((command == "add" || command == "remove" || command == "import") && !IsUserList(*list))
      throw UsageError("the reference list cannot be changed");
  }
  if (command == "level" && count == 2 && options.words[1] != "high" &&
      options.words[1] != "medium" && options.words[1] != "low")
    throw UsageError("the level is high, medium or low");
  if (options.match && command != "show")
    throw UsageError("--match goes with show");
  if (options.json && command != "show" && command != "stats")
    throw UsageError("--json goes with show and stats");
  if (options.format && command != "import" && command != "export")
    throw UsageError("--format goes with import and export");
  if (options.verbose && command != "import")
    throw UsageError("--verbose goes with import");
}

// The folder of this program's file: /proc/self/exe names it with every symbolic link resolved,
// so a link from <prefix>/bin leads to the program folder the link points into.
fs::path ProgramFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error)
    throw Failure("cannot find the program folder: " + error.message());
  return self.parent_path();
}

// "9,812".
std::string CountText(size_t count) {
  std::string digits = std::to_string(count);
  for (size_t i = digits.size(); i > 3; i -= 3)
    digits.insert(i - 3, ",");
  return digits;
}

std::string_view LevelName(int32_t level) {
  return level == 3 ? "high" : level == 1 ? "low" : "medium";
}

// The level's name; a stored value other than 1 to 3 acts as medium and is shown.
std::string LevelText(int32_t level) {
  std::string text(LevelName(level));
  if (level < 1 || level > 3)
    text += " (stored as " + std::to_string(level) + ")";
  return text;
}

int32_t LevelNamed(std::string_view name) {
  return name == "high" ? 3 : name == "low" ? 1 : 2;
}

std::string ListText(ListKind list) {
  return "the " + std::string(ListKindName(list)) + " list";
}

// The whole content of file, or of standard input for "-". Throws Failure.
std::string ReadInput(const std::string& file) {
  UniqueFd owned;
  int fd = STDIN_FILENO;
  if (file != "-") {
    owned.Reset(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!owned.valid())
      throw Failure("cannot read " + file + ": " + std::strerror(errno));
    fd = owned.get();
  }
  struct stat status {};
  if (::fstat(fd, &status) == 0) {
    if (S_ISDIR(status.st_mode))
      throw Failure("cannot read " + file + ": it is a folder");
    if (S_ISREG(status.st_mode) && status.st_size > kMaxListFileBytes)
      throw Failure(file + " is larger than 256 MiB: not a list of addresses");
  }
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      throw Failure("cannot read " + file + ": " + std::strerror(errno));
    if (got == 0)
      return content;
    content.append(buffer, static_cast<size_t>(got));
    if (static_cast<off_t>(content.size()) > kMaxListFileBytes)
      throw Failure(file + " is larger than 256 MiB: not a list of addresses");
  }
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

std::string JsonLine(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

int RunShow(ListAccess& access, const Options& options, ListKind list) {
  const bool userList = IsUserList(list);
  bool first = true;
  if (options.json)
    std::cout << '[';
  access.Rows(list, options.match.value_or(""), [&](const ListEntry& entry) {
    if (options.json) {
      QJsonObject row{{"mail", Q(entry.mail)}};
      if (userList) {
        row.insert("name", Q(entry.name));
        row.insert("date", entry.date ? QJsonValue(Q(DateText(entry.date))) : QJsonValue());
      }
      std::cout << (first ? "\n" : ",\n") << JsonLine(row);
    } else if (userList) {
      std::cout << entry.mail << '\t' << entry.name << '\t' << DateText(entry.date) << '\n';
    } else {
      std::cout << entry.mail << '\n';
    }
    first = false;
  });
  if (options.json)
    std::cout << (first ? "]\n" : "\n]\n");
  return kExitOk;
}

int RunAdd(ListAccess& access, const Options& options, ListKind list) {
  const std::string& address = options.words[2];
  std::optional<std::string_view> name;
  if (options.words.size() == 4)
    name = options.words[3];
  if (name && !IsPlainText(*name))
    throw Failure("the name must be UTF-8 text without control characters; nothing was added");
  switch (access.Add(list, address, name)) {
    case AddResult::kAdded:
      std::cout << "added " << address << " to " << ListText(list) << '\n';
      return kExitOk;
    case AddResult::kAlreadyListed:
      std::cout << address << " is already on " << ListText(list) << " (letter case ignored)"
                << ": nothing added\n";
      return kExitOk;
    case AddResult::kInvalid:
      break;
  }
  // The settings window's own words.
  std::cerr << kInvalidEmailMessage << '\n';
  return kFailed;
}

int RunRemove(ListAccess& access, const Options& options, ListKind list) {
  const std::string& address = options.words[2];
  const size_t removed = access.Remove(list, address);
  if (removed == 0) {
    std::cerr << kProgram << ": " << address << " is not on " << ListText(list)
              << ": nothing removed\n";
    return kFailed;
  }
  std::cout << "removed " << address << " from " << ListText(list)
            << (removed > 1 ? " (" + CountText(removed) + " rows)" : "") << '\n';
  return kExitOk;
}

// Shows an import's progress on a terminal.
ImportProgress TerminalProgress(ListKind list) {
  if (::isatty(STDERR_FILENO) == 0)
    return {};
  return [list](size_t done, size_t total) {
    std::cerr << "\rimporting into " << ListText(list) << ": " << CountText(done) << " of "
              << CountText(total) << (done == total ? "\r\033[K" : "") << std::flush;
  };
}

int RunImport(ListAccess& access, const Options& options, ListKind list,
              const std::vector<ListEntry>& entries) {
  if (::isatty(STDERR_FILENO) != 0 && access.Where().starts_with("the running program"))
    std::cerr << "importing " << CountText(entries.size()) << " lines through " << access.Where()
              << " ...\n";
  ImportResult result;
  try {
    result = access.Import(list, entries, TerminalProgress(list));
  } catch (const ImportUnconfirmed&) {
    throw;
  } catch (const std::exception& e) {
    throw Failure(std::string(e.what()) + "; the import was taken back: " + ListText(list) +
                  " is as it was");
  }
  const size_t skipped = result.invalidLines.size() + result.alreadyListed;
  std::cout << "imported " << CountText(result.imported) << ", skipped " << CountText(skipped);
  if (skipped > 0) {
    std::cout << ": " << CountText(result.invalidLines.size()) << " invalid, "
              << CountText(result.alreadyListed) << " already listed";
  }
  std::cout << '\n';
  if (options.verbose) {
    std::map<size_t, const ListEntry*> byLine;
    for (const ListEntry& entry : entries)
      byLine[entry.line] = &entry;
    for (const size_t line : result.invalidLines) {
      const auto found = byLine.find(line);
      std::cout << "line " << line
                << ": invalid: " << (found != byLine.end() ? found->second->mail : std::string())
                << '\n';
    }
  }
  return result.invalidLines.empty() ? kExitOk : kDoneInPart;
}

// The entries of the file named in an import command, read before the lists are touched.
std::vector<ListEntry> ReadImportFile(const Options& options) {
  const std::string& file = options.words[2];
  const ListFileFormat format =
      options.format.value_or(file == "-" ? ListFileFormat::kText : ListFileFormatFor(file));
  std::vector<ListEntry> entries;
  try {
    entries = ParseListFile(ReadInput(file), format);
  } catch (const std::exception& e) {
    throw Failure((file == "-" ? "standard input" : file) + ": " + e.what() +
                  "; nothing was imported");
  }
  if (entries.empty())
    throw Failure((file == "-" ? "standard input" : file) +
                  " holds no addresses; nothing was imported");
  return entries;
}

int RunExport(ListAccess& access, const Options& options, ListKind list) {
  const bool toFile = options.words.size() == 3 && options.words[2] != "-";
  const std::string file = toFile ? options.words[2] : "";
  const ListFileFormat format =
      options.format.value_or(toFile ? ListFileFormatFor(file) : ListFileFormat::kText);
  std::ofstream out;
  if (toFile) {
    out.open(file, std::ios::binary | std::ios::trunc);
    if (!out)
      throw Failure("cannot write " + file + ": " + std::strerror(errno));
  }
  std::ostream& sink = toFile ? out : std::cout;
  sink << ListFileHeader(format, list);
  size_t count = 0;
  try {
    count =
        access.Rows(list, "", [&](const ListEntry& entry) { sink << ListFileLine(format, entry); });
  } catch (...) {
    if (toFile) {
      out.close();
      fs::remove(file);
    }
    throw;
  }
  if (toFile) {
    out.close();
    if (!out) {
      const int error = errno;
      fs::remove(file);
      throw Failure("cannot write " + file + ": " + std::strerror(error) +
                    "; nothing was exported");
    }
    std::cout << "exported " << CountText(count) << " rows of " << ListText(list) << " to " << file
              << '\n';
  }
  return kExitOk;
}

int RunLevel(ListAccess& access, const Options& options) {
  if (options.words.size() == 2) {
    const int32_t level = access.Level(LevelNamed(options.words[1]));
    std::cout << "security level set to " << LevelText(level) << '\n';
  } else {
    std::cout << LevelText(access.Level(std::nullopt)) << '\n';
  }
  return kExitOk;
}

int RunStats(ListAccess& access, const Options& options) {
  const MiscRow misc = access.Stats();
  const std::string harvest = misc.harvest ? DateText(misc.harvest) : "";
  if (options.json) {
    std::cout << JsonLine({{"securityLevel", Q(std::string(LevelName(misc.secureclass)))},
                           {"secureclass", misc.secureclass},
                           {"spamnumber", misc.spamnumber},
                           {"number", misc.number},
                           {"lastHarvest", harvest.empty() ? QJsonValue() : Q(harvest)}})
              << '\n';
    return kExitOk;
  }
  std::cout << "security level\t" << LevelText(misc.secureclass) << '\n'
            << "marked as spam\t" << misc.spamnumber << '\n'
            << "detaches\t" << misc.number << '\n'
            << "last harvest\t" << (harvest.empty() ? "never" : harvest) << '\n';
  return kExitOk;
}

int Run(const Options& options) {
  const std::string& command = options.words[0];
  std::vector<ListEntry> entries;
  if (command == "import")
    entries = ReadImportFile(options);

  // The program's own folder of lists, made ready as the program makes it at its start.
  const fs::path folder = options.folder ? *options.folder : PrepareDatabaseFolder(ProgramFolder());
  const fs::path socket = options.socket ? *options.socket : DefaultControlSocketPath();
  const std::unique_ptr<ListAccess> access = ConnectListAccess(fs::absolute(folder), socket);

  if (command == "level")
    return RunLevel(*access, options);
  if (command == "stats")
    return RunStats(*access, options);
  const ListKind list = *ListKindNamed(options.words[1]);
  if (command == "show")
    return RunShow(*access, options, list);
  if (command == "add")
    return RunAdd(*access, options, list);
  if (command == "remove")
    return RunRemove(*access, options, list);
  if (command == "import")
    return RunImport(*access, options, list, entries);
  return RunExport(*access, options, list);
}

}  // namespace
}  // namespace tervane

int main(int argc, char* argv[]) {
  using namespace tervane;
  const std::vector<std::string_view> args = CommandWords(argc, argv);
  if (const std::optional<int> answered = AnswerStandardOptions(kProgram, kUsageText, args))
    return *answered;
  Options options;
  try {
    options = ParseArguments(args);
    CheckUsage(options);
  } catch (const UsageError& problem) {
    return WrongUsage(kProgram, kUsageText, problem.what());
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << kProgram << ": " << e.what() << '\n';
    return kFailed;
  }
}
