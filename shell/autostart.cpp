#include "shell/autostart.h"

#include "base/xdg_dirs.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "ui/desktop_file.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

// Returns path as one double-quoted argument of an Exec key. Inside the quotes '"', '`', '$' and
// '\' get a backslash; '%' is doubled so it is no field code. Then the escapes of a desktop
// entry string value apply on top: '\' becomes "\\" and control characters become \n, \t, \r.
std::string QuotedExecArgument(const std::string& path) {
  std::string quoted = "\"";
  for (const char c : path) {
    switch (c) {
      case '"':
      case '`':
      case '$':
      case '\\':
        quoted += '\\';
        quoted += c;
        break;
      case '%':
        quoted += "%%";
        break;
      default:
        quoted += c;
    }
  }
  quoted += '"';

  std::string value;
  for (const char c : quoted) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        value += c;
    }
  }
  return value;
}

[[noreturn]] void ThrowSetDataFailed() {
  throw std::runtime_error("Failed to set data for '" + std::string(kAutostartValueName) + "'");
}

// The keys by which a user switches an autostart entry off, with the value that does it.
struct SwitchOff {
  std::string_view key;
  std::string_view value;
};
constexpr SwitchOff kSwitchOffs[] = {{"Hidden", "true"}, {"X-GNOME-Autostart-enabled", "false"}};
constexpr std::string_view kMainGroup = "Desktop Entry";

// What the old entry said, as far as the new one cares.
struct OldEntry {
  bool switchedOff[std::size(kSwitchOffs)] = {};
  bool damaged = false;
};

// Reads the switch-offs of the [Desktop Entry] group of text. Keys before any group count too,
// as the header may be what was lost. The entry is damaged when it was cut short or holds a
// line that is no comment, group or key, or when its first group is another or it has none.
OldEntry ReadOldEntry(std::string_view text) {
  const DesktopFileText file = ParseDesktopFile(text);
  OldEntry entry;
  entry.damaged = !file.wellFormed || file.groups.empty() || file.groups.front() != kMainGroup;
  for (const DesktopFileKey& key : file.keys) {
    if (key.group != kMainGroup && !key.group.empty())
      continue;
    for (size_t i = 0; i < std::size(kSwitchOffs); ++i) {
      if (key.key == kSwitchOffs[i].key)
        entry.switchedOff[i] = key.value == kSwitchOffs[i].value;
    }
  }
  return entry;
}

// The text of the entry file, or nothing when there is none that can be read.
std::optional<std::string> ReadEntryFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Returns the desktop entry that starts program (an absolute path) without arguments, switched
// off where old was.
std::string EntryText(const fs::path& program, const OldEntry& old) {
  std::string text = "[Desktop Entry]\nType=Application\nName=" + std::string(kAutostartValueName) +
                     "\nComment=Judges new mail by its sender and moves spam into the folder "
                     "\"spam\"\nIcon=tervane-antispam\nExec=" +
                     QuotedExecArgument(program.string()) + "\nTerminal=false\n";
  for (size_t i = 0; i < std::size(kSwitchOffs); ++i) {
    if (old.switchedOff[i])
      text += std::string(kSwitchOffs[i].key) + "=" + std::string(kSwitchOffs[i].value) + "\n";
  }
  return text;
}

}  // namespace

fs::path AutostartFolder() {
  return XdgHomeFolder(XdgHome::kConfig) / "autostart";
}

fs::path AutostartEntryFile() {
  return AutostartFolder() / (std::string(kAutostartValueName) + ".desktop");
}

AutostartRewrite WriteAutostartEntry(const fs::path& programFile) {
  std::error_code error;
  const fs::path program = fs::absolute(programFile, error);
  const fs::path target = AutostartEntryFile();
  if (!error) {
    fs::create_directories(target.parent_path(), error);
  }
  if (error) {
    ThrowSetDataFailed();
  }
  OldEntry old;
  if (fs::is_regular_file(target, error)) {
    if (const std::optional<std::string> text = ReadEntryFile(target))
      old = ReadOldEntry(*text);
  }
  QSaveFile file(QString::fromStdString(target.string()));
  const QByteArray text = QByteArray::fromStdString(EntryText(program, old));
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    ThrowSetDataFailed();
  }
  AutostartRewrite rewrite;
  rewrite.repaired = old.damaged;
  for (const bool off : old.switchedOff)
    rewrite.keptSwitchOff |= off;
  return rewrite;
}

}  // namespace tervane
