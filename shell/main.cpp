// The program: starts hidden beside the mail client and filters its mail until it is asked to
// end (a failed attach, the tray menu's "Online Update", SIGTERM or SIGINT).
#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>

#include "cli/qt_command_line.h"
#include "extserver/extension_server.h"
#include "log/file_decision_log.h"
#include "log/log_file.h"
#include "shell/frmmain.h"
#include "shell/list_commands.h"
#include "shell/program_values.h"
#include "shell/restart.h"
#include "shell/termination_signals.h"
#include "store/data_folder.h"
#include "store/folder_owner.h"
#include "ui/aboutbox.h"
#include "ui/frmsetting.h"
#include "ui/message_box.h"

namespace {

// Without a display the program runs on Qt's offscreen platform, where message boxes become
// lines on standard error.
void UseOffscreenWithoutDisplay() {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
      !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace tervane;
  UseOffscreenWithoutDisplay();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tervane Anti-Spam");
  QApplication::setApplicationDisplayName("Tervane Anti-Spam");
  QApplication::setQuitOnLastWindowClosed(false);

  // The program takes no arguments of its own, only the conventional --help and --version.
  QCommandLineParser commandLine;
  commandLine.setApplicationDescription(
      "Judges every new message of the mail client by its sender's address and moves spam into "
      "the folder \"spam\". Runs hidden; the mail client's toolbar drives it.");
  ProcessCommandLineOrExit(commandLine, "TervaneAntiSpam", QApplication::arguments());
  if (!commandLine.positionalArguments().isEmpty())
    ExitWithWrongUsage(commandLine, "TervaneAntiSpam", "takes no arguments");

  TerminationSignals termination;
  QObject::connect(&termination, &TerminationSignals::TerminationRequested, &app,
                   &QCoreApplication::quit);

  // The instance that restarted this one leaves as soon as its handler returns; its folder and
  // its mail client server must be free before this one can take them.
  const bool restarted = TakeRestartedMark();
  const std::chrono::seconds restartWait(restarted ? 10 : 0);
  if (restarted)
    WaitUntilSocketFree(DefaultControlSocketPath(), restartWait);

  // Why mail moved: one line per decision, written in a batch once the event loop is free.
  FileDecisionLog log(DefaultLogFile());
  log.SetFlushRequest([&log] {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&log] { log.Flush(); }, Qt::QueuedConnection);
  });

  std::optional<FolderOwner> owner;
  std::unique_ptr<ExtensionServer> server;
  std::unique_ptr<TFrmmain> mainWindow;
  try {
    // One instance per folder of lists, whatever socket it would listen on: taken before either
    // database is opened, held until the program ends.
    owner = FolderOwner::Acquire(
        PrepareDatabaseFolder(QCoreApplication::applicationDirPath().toStdString()), restartWait);
    owner->RemoveCompactionLeftovers();
    server = std::make_unique<ExtensionServer>(
        ServerOptions{DefaultMaildirRoot(), DefaultControlSocketPath()});
    mainWindow = std::make_unique<TFrmmain>(restarted, owner->folder(), log);
  } catch (const std::exception& e) {
    ShowErrorMessage(nullptr, e.what());
    return EXIT_FAILURE;
  }
  Frmmain = mainWindow.get();
  TAboutBox aboutBox(mainWindow->shell());
  AboutBox = &aboutBox;
  TFrmsetting frmsetting(mainWindow->database(), SecurityLevel);
  Frmsetting = &frmsetting;
  // tervane-lists works through the running program, which owns the lists.
  ProgramListCommands listCommands(*server, mainWindow->database(), owner->folder(), SecurityLevel);

  const int result = QApplication::exec();
  Frmsetting = nullptr;
  AboutBox = nullptr;
  Frmmain = nullptr;
  return result;
}
