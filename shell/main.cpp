// The program: starts hidden beside the mail client and filters its mail until it is asked to
// end (a failed attach, the tray menu's "Online Update", SIGTERM or SIGINT).
#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "base/xdg_dirs.h"
#include "cli/command_line.h"
#include "control/control_socket_file.h"
#include "log/file_decision_log.h"
#include "log/log_file.h"
#include "shell/program.h"
#include "shell/restart.h"
#include "shell/termination_signals.h"
#include "store/data_folder.h"
#include "store/folder_owner.h"
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
  CommandLine commandLine("TervaneAntiSpam", {""});
  commandLine.Text(
      "Judges every new message of the mail client by its sender's address and moves spam into\n"
      "the folder \"spam\". Runs hidden; the mail client's toolbar drives it. See\n"
      "TervaneAntiSpam(1).\n");
  if (const std::optional<int> exit = commandLine.Parse(CommandWords(argc, argv)))
    return *exit;
  if (!commandLine.Arguments().empty())
    return commandLine.WrongUsage("takes no arguments");

  // The instance that restarted this one leaves as soon as its handler returns; its folder and
  // its mail client server must be free before this one can take them. Until the waiting is
  // over SIGTERM and SIGINT keep their default and end the program at once: nothing is open.
  const bool restarted = TakeRestartedMark();
  const std::chrono::seconds restartWait(restarted ? 10 : 0);
  if (restarted)
    WaitUntilSocketFree(DefaultControlSocketPath(), restartWait);

  std::optional<FileDecisionLog> log;
  std::optional<FolderOwner> owner;
  std::optional<TerminationSignals> termination;
  std::unique_ptr<Program> program;
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
    // Why mail moved: one line per decision, written in a batch once the event loop is free.
    log.emplace(DefaultLogFile());
    log->SetFlushRequest([&log] {
      QMetaObject::invokeMethod(
          QCoreApplication::instance(), [&log] { log->Flush(); }, Qt::QueuedConnection);
    });
    // One instance per folder of lists, whatever socket it would listen on: taken before either
    // database is opened, held until the program ends.
    const std::filesystem::path programFolder = RunningProgramFolder();
    const std::filesystem::path listsFolder = PrepareDatabaseFolder(programFolder);
    if (listsFolder != programFolder)
      std::cerr << "Tervane Anti-Spam: the program folder " << programFolder
                << " cannot be written; the lists are in " << listsFolder << '\n';
    owner = FolderOwner::Acquire(listsFolder, restartWait);
    handleTermination();
    owner->RemoveCompactionLeftovers();
    ProgramOptions options{restarted, owner->folder(), ReadProgramConfig(DefaultConfigFile()),
                           DefaultControlSocketPath()};
    options.endRequested = [&termination] { return termination->Poll(); };
    program = std::make_unique<Program>(std::move(options), *log);
  } catch (const std::exception& e) {
    handleTermination();
    ShowErrorMessage(nullptr, e.what());
    return EXIT_FAILURE;
  }
  // A signal taken while starting up (during a message box) ends the program here, since the
  // application's event loop would start afresh.
  if (termination->requested())
    return EXIT_SUCCESS;
  return QApplication::exec();
}
