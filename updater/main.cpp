// update: started by the toolbar's "Live Update" (and runnable by hand). Brings the maker's
// newest signed reference list into ospam.mdb (updater/reference_update.h) and tells the result
// in one sentence on standard output; on a terminal a progress line on standard error, and when
// started with a display but no terminal (from the toolbar) a small window.
// Exit 0 when updated or already up to date, 1 when the update failed, 2 for wrong usage.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>

#include "base/xdg_dirs.h"
#include "cli/command_line.h"
#include "control/control_socket_file.h"
#include "reflist/ed25519_keys.h"
#include "store/data_folder.h"
#include "ui/maker_site.h"
#include "updater/reference_update.h"
#include "updater/terminal_progress.h"
#include "updater/update_window.h"

namespace {

constexpr int kFailed = tervane::kExitRefused;

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

  CommandLine commandLine(
      "update",
      {"[--timeout SECONDS] [--deadline SECONDS] [--max-shrink PERCENT | --accept-shrink]"});
  commandLine.Option("timeout", "SECONDS", "give up when the server sends nothing this long (30)")
      .Option("deadline", "SECONDS", "give up when the list has not come within this long (300)")
      .Option("max-shrink", "PERCENT",
              "refuse a list that removes more than PERCENT of the one in place (50)")
      .Flag("accept-shrink", "take the new list however much of the one in place it removes")
      .Text(
          "Brings the newest reference list of spam senders from the maker's server\n"
          "($TERVANE_SERVER, else " +
          std::string(kMakerHost) +
          ") into the filter: checks its signature with\n"
          "update.pub beside this program and its SHA-256, and replaces ospam.mdb only when\n"
          "every check passed. Exit status: 0 updated or up to date, 1 failed, 2 wrong usage.\n");
  if (const std::optional<int> exit = commandLine.Parse(CommandWords(argc, argv)))
    return *exit;
  UpdateSettings settings;
  try {
    settings.timeout =
        std::chrono::seconds(commandLine.Number("timeout", 1, 24 * 3600).value_or(30));
    settings.deadline = std::chrono::seconds(
        commandLine.Number("deadline", 1, 24 * 3600).value_or(settings.deadline.count()));
    settings.maxShrinkPercent = static_cast<int>(
        commandLine.Number("max-shrink", 0, 100).value_or(settings.maxShrinkPercent));
    settings.acceptShrink = commandLine.Has("accept-shrink");
    if (!commandLine.Arguments().empty())
      throw UsageError("takes no arguments");
  } catch (const UsageError& problem) {
    return commandLine.WrongUsage(problem.what());
  }

  const std::filesystem::path programFolder = RunningProgramFolder();
  settings.server = MakerServerHost();
  settings.publicKeyFile = programFolder / kPublicKeyFile;
  settings.controlSocket = DefaultControlSocketPath();
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
