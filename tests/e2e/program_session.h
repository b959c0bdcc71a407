#ifndef TERVANE_TESTS_E2E_PROGRAM_SESSION_H_
#define TERVANE_TESTS_E2E_PROGRAM_SESSION_H_

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/report_sink.h"
#include "tests/support/temp_dir.h"

namespace tervane::testing {

// What a finished oectl run gave.
struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  // The tab-separated rows of out.
  std::vector<std::vector<std::string>> Rows() const;
};

// The real program run from a copy of the program folder (under a path with a blank in it),
// with its own Maildir, runtime folder, configuration folder and report server; driven only
// through oectl and files.
class ProgramSession {
 public:
  ProgramSession();
  ~ProgramSession();

  const std::filesystem::path& programFolder() const { return programFolder_; }
  const std::filesystem::path& maildir() const { return maildir_; }
  const std::filesystem::path& configHome() const { return configHome_; }
  // XDG_STATE_HOME of the program: its decision log is tervane-antispam/decisions.log here.
  std::filesystem::path stateHome() const { return root_ / "state"; }
  const ReportSink& reports() const { return reports_; }
  QProcess& program() { return *program_; }

  // Starts the program with its standard error going to errFile (when set).
  void Start(const std::filesystem::path& errFile = {});
  // Starts it and waits until it has attached: its six buttons are on the toolbar.
  bool StartAttached();
  // Sends SIGTERM and waits for the end; true iff it exited normally with status 0.
  bool Terminate();
  // Starts one more instance of the same program file with a runtime folder of its own (so a
  // control socket of its own), as another desktop session of the user would; its standard
  // error is read through the returned process.
  std::unique_ptr<QProcess> StartAnotherInstance();

  // The processes running this session's program file (the started one and any it started).
  std::vector<int> RunningInstances() const;

  CommandResult Oectl(const QStringList& arguments);
  // tervane-lists from the program folder, as the user runs it (its default folder of lists).
  CommandResult Lists(const QStringList& arguments, const QByteArray& input = {});
  // Folder name -> message count, from "oectl folders".
  std::map<std::string, int> FolderCounts();
  // The ids of a folder's messages, from "oectl list".
  std::vector<std::string> MessageIds(const std::string& folder);
  // Delivers a message from sender to recipient (addresses) with body text into folder (a name).
  void Deliver(const std::string& sender, const std::string& body,
               const std::string& folder = "Inbox",
               const std::string& recipient = "me@home.example",
               const std::string& extraHeaders = "");

 private:
  TempDir root_;
  std::filesystem::path programFolder_;
  std::filesystem::path maildir_;
  std::filesystem::path configHome_;
  // Runs the tool of that name in the program folder with the session's environment.
  CommandResult RunTool(const char* name, const QStringList& arguments, const QByteArray& input);

  ReportSink reports_;
  QProcessEnvironment environment_;
  std::unique_ptr<QProcess> program_;
  int delivered_ = 0;
  int others_ = 0;
};

// Polls condition every 50 ms until it holds or timeout passes; true iff it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_E2E_PROGRAM_SESSION_H_
