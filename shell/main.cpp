// The program: starts hidden beside the mail client and filters its mail until it is asked to
// end (a failed attach, the tray menu's "Online Update", SIGTERM or SIGINT).
#include <QApplication>
#include <QJsonObject>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/qt_command_line.h"
#include "extserver/extension_server.h"
#include "log/file_decision_log.h"
#include "log/log_file.h"
#include "shell/frmmain.h"
#include "shell/list_commands.h"
#include "shell/program_values.h"
#include "shell/reference_reopen.h"
#include "shell/restart.h"
#include "shell/settings_command.h"
#include "shell/termination_signals.h"
#include "store/data_folder.h"
#include "store/folder_owner.h"
#include "store/reference_version.h"
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
  // The application's title. No display name is set: the X11 platform would append it to every
  // window title ("Config — Tervane Anti-Spam"); message boxes take the name as their title.
  QApplication::setApplicationName("Tervane Anti-Spam");
  QApplication::setQuitOnLastWindowClosed(false);

  // The program takes no arguments of its own, only the conventional --help and --version.
  QCommandLineParser commandLine;
  commandLine.setApplicationDescription(
      "Judges every new message of the mail client by its sender's address and moves spam into "
      "the folder \"spam\". Runs hidden; the mail client's toolbar drives it.");
  ProcessCommandLineOrExit(commandLine, "TervaneAntiSpam", QApplication::arguments());
  if (!commandLine.positionalArguments().isEmpty())
    ExitWithWrongUsage(commandLine, "TervaneAntiSpam", "takes no arguments");

  // The instance that restarted this one leaves as soon as its handler returns; its folder and
  // its mail client server must be free before this one can take them. Until the waiting is
  // over SIGTERM and SIGINT keep their default and end the program at once: nothing is open.
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
  std::optional<TerminationSignals> termination;
  std::unique_ptr<ExtensionServer> server;
  std::unique_ptr<TFrmmain> mainWindow;
  // From here a signal ends every event loop, a message box's too, so that no box nobody
  // presses keeps the program from ending.
  const auto handleTermination = [&termination] {
    if (!termination) {
      termination.emplace();
      QObject::connect(&*termination, &TerminationSignals::TerminationRequested,
                       &TerminationSignals::EndEventLoops);
    }
  };
  try {
    // One instance per folder of lists, whatever socket it would listen on: taken before either
    // database is opened, held until the program ends.
    const std::filesystem::path programFolder =
        QCoreApplication::applicationDirPath().toStdString();
    const std::filesystem::path listsFolder = PrepareDatabaseFolder(programFolder);
    if (listsFolder != programFolder)
      std::cerr << "Tervane Anti-Spam: the program folder " << programFolder
                << " cannot be written; the lists are in " << listsFolder << '\n';
    owner = FolderOwner::Acquire(listsFolder, restartWait);
    handleTermination();
    owner->RemoveCompactionLeftovers();
    server = std::make_unique<ExtensionServer>(
        ServerOptions{DefaultMaildirRoot(), DefaultControlSocketPath()});
    // What the mail store met that the user should know of (a file in new/ that is no mail, a
    // move that failed) goes to the same log.
    QObject::connect(server.get(), &ExtensionServer::Notice, &app,
                     [&log](const QString& text) { log.Write(text.toStdString()); });
    mainWindow = std::make_unique<TFrmmain>(restarted, owner->folder(), log);
  } catch (const std::exception& e) {
    handleTermination();
    ShowErrorMessage(nullptr, e.what());
    return EXIT_FAILURE;
  }
  // A signal taken while starting up (during a message box) ends the program here, since the
  // application's event loop would start afresh.
  if (termination->requested())
    return EXIT_SUCCESS;
  Frmmain = mainWindow.get();
  server->SetProgramCommand(kReopenReferenceCommand, [&mainWindow, &owner](const QJsonObject&) {
    const bool reopened = ReopenReferenceDatabase(mainWindow->database(), owner->folder());
    return QJsonObject{{"reopened", reopened}};
  });
  TAboutBox aboutBox(mainWindow->shell());
  AboutBox = &aboutBox;
  TFrmsetting frmsetting(mainWindow->database(), SecurityLevel);
  Frmsetting = &frmsetting;
  server->SetProgramCommand(kSettingsCommand, SettingsCommand(*mainWindow));
  // tervane-lists works through the running program, which owns the lists.
  ProgramListCommands listCommands(*server, mainWindow->database(), owner->folder(), SecurityLevel);

  const int result = QApplication::exec();
  server->SetProgramCommand(kSettingsCommand, nullptr);
  Frmsetting = nullptr;
  AboutBox = nullptr;
  Frmmain = nullptr;
  return result;
}
