// update: started by the toolbar's "Live Update" (and runnable by hand). Brings the maker's
// newest signed reference list into ospam.mdb (updater/reference_update.h) and tells the result
// in one sentence on standard output; on a terminal a progress line on standard error, and when
// started with a display but no terminal (from the toolbar) a small window.
// Exit 0 when updated or already up to date, 1 when the update failed, 2 for wrong usage.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>

#include "cli/qt_command_line.h"
#include "extserver/extension_server.h"
#include "reflist/ed25519_keys.h"
#include "store/data_folder.h"
#include "ui/maker_site.h"
#include "updater/reference_update.h"
#include "updater/terminal_progress.h"
#include "updater/update_window.h"

namespace {

constexpr int kFailed = 1;

bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace tervane;
  const bool useWindow = HasDisplay() && ::isatty(STDOUT_FILENO) != 1;
  std::unique_ptr<QCoreApplication> app;
  if (useWindow)
    app = std::make_unique<QApplication>(argc, argv);
  else
    app = std::make_unique<QCoreApplication>(argc, argv);
  QCoreApplication::setApplicationName("update");

  QCommandLineParser commandLine;
  commandLine.setApplicationDescription(
      "Brings the newest reference list of spam senders from the maker's server "
      "($TERVANE_SERVER, else " +
      QString::fromUtf8(kMakerHost.data(), kMakerHost.size()) +
      ") into the filter: checks its signature with update.pub beside this program and its "
      "SHA-256, and replaces ospam.mdb only when every check passed.");
  const QCommandLineOption timeoutOption(
      "timeout", "Give up when the server sends nothing for <seconds> (default 30).", "seconds",
      "30");
  commandLine.addOption(timeoutOption);
  const QCommandLineOption deadlineOption(
      "deadline",
      "Give up when the server has not sent the list within <seconds> (default 300), however "
      "steadily it sends.",
      "seconds", "300");
  commandLine.addOption(deadlineOption);
  const QCommandLineOption maxShrinkOption(
      "max-shrink",
      "Refuse a list that would remove more than <percent> of the addresses in place "
      "(default 50).",
      "percent", "50");
  commandLine.addOption(maxShrinkOption);
  const QCommandLineOption acceptShrinkOption(
      "accept-shrink", "Take the new list however many addresses it removes.");
  commandLine.addOption(acceptShrinkOption);
  ProcessCommandLineOrExit(commandLine, "update", QCoreApplication::arguments());
  // The value of option: a whole number from minimum to maximum.
  const auto wholeNumber = [&](const QCommandLineOption& option, int minimum, int maximum,
                               const QString& unit) {
    bool isNumber = false;
    const int value = commandLine.value(option).toInt(&isNumber);
    if (!isNumber || value < minimum || value > maximum) {
      ExitWithWrongUsage(commandLine, "update",
                         "--" + option.names().front() + " needs a whole number of " + unit);
    }
    return value;
  };
  const int timeoutSeconds = wholeNumber(timeoutOption, 1, 86400, "seconds");
  const int deadlineSeconds = wholeNumber(deadlineOption, 1, 86400, "seconds");
  const int maxShrinkPercent = wholeNumber(maxShrinkOption, 0, 100, "percent (0 to 100)");
  if (!commandLine.positionalArguments().isEmpty())
    ExitWithWrongUsage(commandLine, "update", "takes no arguments");

  const std::filesystem::path programFolder = QCoreApplication::applicationDirPath().toStdString();
  UpdateSettings settings;
  settings.server = MakerServerHost();
  settings.publicKeyFile = programFolder / kPublicKeyFile;
  settings.controlSocket = DefaultControlSocketPath();
  settings.timeout = std::chrono::seconds(timeoutSeconds);
  settings.deadline = std::chrono::seconds(deadlineSeconds);
  settings.maxShrinkPercent = maxShrinkPercent;
  settings.acceptShrink = commandLine.isSet(acceptShrinkOption);
  try {
    settings.databaseFolder = PrepareDatabaseFolder(programFolder);
  } catch (const std::exception& e) {
    UpdateResult failed;
    failed.reason = std::string("cannot find the folder of the lists (") + e.what() + ")";
    std::cout << ResultSentence(failed) << std::endl;
    return kFailed;
  }

  std::unique_ptr<UpdateWindow> window;
  if (useWindow) {
    window = std::make_unique<UpdateWindow>();
    window->show();
  }
  TerminalProgress line(stderr);
  QString warning;
  int exitCode = kFailed;
  ReferenceUpdate update(settings);
  QObject::connect(&update, &ReferenceUpdate::Progress, [&](const UpdateProgress& progress) {
    line.Show(ProgressText(progress));
    if (window)
      window->ShowProgress(progress);
  });
  QObject::connect(&update, &ReferenceUpdate::Warning, [&](const QString& text) {
    warning = text;
    line.Clear();
    std::cerr << text.toStdString() << std::endl;
  });
  QObject::connect(&update, &ReferenceUpdate::Finished, [&](const UpdateResult& result) {
    line.Clear();
    const std::string sentence = ResultSentence(result);
    std::cout << sentence << std::endl;
    exitCode = result.outcome == UpdateResult::Outcome::kFailed ? kFailed : 0;
    if (window)
      window->ShowResult(QString::fromStdString(sentence), warning);  // closing it ends update
    else
      QCoreApplication::quit();
  });
  update.Start();
  QCoreApplication::exec();
  return exitCode;
}
