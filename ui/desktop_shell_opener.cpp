#include "ui/desktop_shell_opener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace tervane {

ShellTarget ResolveShellTarget(std::string_view file) {
  const QString text = QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size()));
  ShellTarget target;
  if (text.startsWith(u'/')) {
    const QFileInfo info(text);
    if (info.isFile() && info.isExecutable()) {
      target.kind = ShellTarget::Kind::kProgram;
      target.program = text;
    } else {
      target.address = QUrl::fromLocalFile(text);
    }
    return target;
  }
  // "mailto:" addresses have no "//"; a host with a port ("host:8080") is not a scheme.
  static const QRegularExpression kScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:(?!\\d)"));
  if (kScheme.match(text).hasMatch()) {
    target.address = QUrl(text);
  } else {
    target.address = QUrl(QStringLiteral("http://") + text);
  }
  return target;
}

void DesktopShellOpener::Open(std::string_view /*verb*/, std::string_view file,
                              ShowCommand /*show*/) {
  const ShellTarget target = ResolveShellTarget(file);
  if (target.kind == ShellTarget::Kind::kProgram) {
    QProcess::startDetached(target.program, {});
  } else {
    QDesktopServices::openUrl(target.address);
  }
}

}  // namespace tervane
