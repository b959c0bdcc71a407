#include "shell/autostart.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

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

// Returns the desktop entry that starts program (an absolute path) without arguments.
std::string EntryText(const fs::path& program) {
  return "[Desktop Entry]\nType=Application\nName=" + std::string(kAutostartValueName) +
         "\nExec=" + QuotedExecArgument(program.string()) + "\nTerminal=false\n";
}

}  // namespace

fs::path AutostartFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && fs::path(config).is_absolute()) {
    return fs::path(config) / "autostart";
  }
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr ? home : "") / ".config" / "autostart";
}

void WriteAutostartEntry(const fs::path& programFile) {
  std::error_code error;
  const fs::path program = fs::absolute(programFile, error);
  const fs::path folder = AutostartFolder();
  if (!error) {
    fs::create_directories(folder, error);
  }
  if (error) {
    ThrowSetDataFailed();
  }
  const fs::path target = folder / (std::string(kAutostartValueName) + ".desktop");
  QSaveFile file(QString::fromStdString(target.string()));
  const QByteArray text = QByteArray::fromStdString(EntryText(program));
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    ThrowSetDataFailed();
  }
}

}  // namespace tervane
