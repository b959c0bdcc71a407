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

#include "base/fd_io.h"
#include "base/unique_fd.h"
#include "base/xdg_dirs.h"
#include "cli/command_line.h"
#include "control/control_socket_file.h"
#include "engine/address_rules.h"
#include "engine/list_rows.h"
#include "engine/security_level.h"
#include "lists/list_file.h"
#include "store/data_folder.h"
#include "tools/lists/list_access.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

constexpr char kProgram[] = "tervane-lists";
constexpr int kDoneInPart = 3;
// A list file larger than this is refused before it is read.
constexpr size_t kMaxListFileBytes = size_t{256} << 20;

struct Options {
  std::optional<fs::path> folder;
  std::optional<fs::path> socket;
  std::optional<std::string> match;
  std::optional<ListFileFormat> format;
  bool json = false;
  bool verbose = false;
  std::vector<std::string> words;  // the command and its arguments
};

// A command that failed; what() is the one-line message.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Options ReadOptions(const CommandLine& commandLine) {
  Options options;
  options.json = commandLine.Has("json");
  options.verbose = commandLine.Has("verbose");
  if (const std::optional<std::string> folder = commandLine.Value("folder"))
    options.folder = *folder;
  if (const std::optional<std::string> socket = commandLine.Value("socket"))
    options.socket = *socket;
  options.match = commandLine.Value("match");
  if (const std::optional<std::string> format = commandLine.Value("format")) {
    options.format = ListFileFormatNamed(*format);
    if (!options.format)
      throw UsageError("--format is text or csv, not " + *format);
  }
  options.words = commandLine.Arguments();
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
  if (command == "level" && count == 2 && !SecurityLevelNamed(options.words[1]))
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

// "9,812".
std::string CountText(size_t count) {
  std::string digits = std::to_string(count);
  for (size_t i = digits.size(); i > 3; i -= 3)
    digits.insert(i - 3, ",");
  return digits;
}

// The level's name; a stored value other than 1 to 3 acts as medium and is shown.
std::string LevelText(int32_t level) {
  std::string text(SecurityLevelName(DecodeSecurityLevel(level)));
  if (level < 1 || level > 3)
    text += " (stored as " + std::to_string(level) + ")";
  return text;
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
    if (S_ISREG(status.st_mode) && static_cast<size_t>(status.st_size) > kMaxListFileBytes)
      throw Failure(file + " is larger than 256 MiB: not a list of addresses");
  }
  std::string content;
  if (!ReadToEnd(fd, content, kMaxListFileBytes)) {
    if (errno == E2BIG)
      throw Failure(file + " is larger than 256 MiB: not a list of addresses");
    throw Failure("cannot read " + file + ": " + std::strerror(errno));
  }
  return content;
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
  return kExitRefused;
}

int RunRemove(ListAccess& access, const Options& options, ListKind list) {
  const std::string& address = options.words[2];
  const size_t removed = access.Remove(list, address);
  if (removed == 0) {
    std::cerr << kProgram << ": " << address << " is not on " << ListText(list)
              << ": nothing removed\n";
    return kExitRefused;
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
    const int32_t level = access.Level(StoredSecurityLevel(*SecurityLevelNamed(options.words[1])));
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
    std::cout << JsonLine(
                     {{"securityLevel",
                       Q(std::string(SecurityLevelName(DecodeSecurityLevel(misc.secureclass))))},
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
  const fs::path folder =
      options.folder ? *options.folder : PrepareDatabaseFolder(RunningProgramFolder());
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
  CommandLine commandLine(kProgram, {"[--folder DIR] [--socket PATH] COMMAND [ARGUMENT...]"});
  commandLine.Option("folder", "DIR", "the folder of cust.mdb and ospam.mdb (the program's own)")
      .Option("socket", "PATH", "the running program's control socket")
      .Option("match", "TEXT", "show: the rows whose address or name holds TEXT")
      .Option("format", "text|csv", "import, export: the file's format")
      .Flag("json", "show, stats: JSON")
      .Flag("verbose", "import: name the invalid lines")
      .Text(
          "Commands: show white|black|reference, add white|black ADDRESS [NAME],\n"
          "remove white|black ADDRESS, import white|black FILE|-,\n"
          "export white|black|reference [FILE|-], level [high|medium|low], stats;\n"
          "see tervane-lists(1). Exit status: 0 done, 1 failed or refused (nothing changed),\n"
          "2 wrong usage, 3 imported with invalid lines skipped.\n");
  if (const std::optional<int> exit = commandLine.Parse(CommandWords(argc, argv)))
    return *exit;
  Options options;
  try {
    options = ReadOptions(commandLine);
    CheckUsage(options);
  } catch (const UsageError& problem) {
    return commandLine.WrongUsage(problem.what());
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << kProgram << ": " << e.what() << '\n';
    return kExitRefused;
  }
}
