#include "tests/e2e/program_session.h"

#include <signal.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;

QString Q(const fs::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace

std::vector<std::vector<std::string>> CommandResult::Rows() const {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      cells.push_back(line.substr(start, tab - start));
    cells.push_back(line.substr(start));
    rows.push_back(std::move(cells));
  }
  return rows;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

ProgramSession::ProgramSession()
    : programFolder_(root_ / "Program Files" / "Tervane Anti-Spam"),
      maildir_(root_ / "Maildir"),
      configHome_(root_ / "config") {
  fs::create_directories(programFolder_);
  fs::copy(TERVANE_PROGRAM_DIR, programFolder_, fs::copy_options::recursive);
  const fs::path runtime = root_ / "run";
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);

  environment_ = QProcessEnvironment::systemEnvironment();
  environment_.remove("TERVANE_RESTARTED");
  environment_.remove("DISPLAY");
  environment_.remove("WAYLAND_DISPLAY");
  environment_.insert("QT_QPA_PLATFORM", "offscreen");
  environment_.insert("MAILDIR", Q(maildir_));
  environment_.insert("XDG_RUNTIME_DIR", Q(runtime));
  environment_.insert("XDG_CONFIG_HOME", Q(configHome_));
  environment_.insert("XDG_STATE_HOME", Q(stateHome()));
  environment_.insert("XDG_DATA_HOME", Q(root_ / "data"));
  environment_.insert("TERVANE_SERVER", QString::fromStdString(reports_.Host()));
}

ProgramSession::~ProgramSession() {
  if (program_ && program_->state() != QProcess::NotRunning) {
    program_->kill();
    program_->waitForFinished(5000);
  }
  // A restarted instance is nobody's child here.
  for (const int pid : RunningInstances())
    ::kill(pid, SIGKILL);
  WaitUntil([this] { return RunningInstances().empty(); }, std::chrono::seconds(5));
}

std::vector<int> ProgramSession::RunningInstances() const {
  std::vector<int> pids;
  const fs::path program = programFolder_ / "TervaneAntiSpam";
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos)
      continue;
    std::error_code ignored;
    if (fs::read_symlink(entry.path() / "exe", ignored) == program)
      pids.push_back(std::stoi(name));
  }
  return pids;
}

void ProgramSession::Start(const fs::path& errFile) {
  program_ = std::make_unique<QProcess>();
  program_->setProcessEnvironment(environment_);
  program_->setStandardOutputFile(QProcess::nullDevice());
  program_->setStandardErrorFile(errFile.empty() ? QProcess::nullDevice() : Q(errFile));
  program_->start(Q(programFolder_ / "TervaneAntiSpam"), {});
  program_->waitForStarted(5000);
}

bool ProgramSession::StartAttached() {
  Start();
  return WaitUntil([this] { return Oectl({"buttons"}).Rows().size() == 6; });
}

bool ProgramSession::Terminate() {
  ::kill(static_cast<pid_t>(program_->processId()), SIGTERM);
  return program_->waitForFinished(10000) && program_->exitStatus() == QProcess::NormalExit &&
         program_->exitCode() == 0;
}

std::unique_ptr<QProcess> ProgramSession::StartAnotherInstance() {
  const fs::path runtime = root_ / ("run" + std::to_string(++others_));
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  QProcessEnvironment environment = environment_;
  environment.insert("XDG_RUNTIME_DIR", Q(runtime));
  auto process = std::make_unique<QProcess>();
  process->setProcessEnvironment(environment);
  process->start(Q(programFolder_ / "TervaneAntiSpam"), {});
  process->waitForStarted(5000);
  return process;
}

CommandResult ProgramSession::RunTool(const char* name, const QStringList& arguments,
                                      const QByteArray& input) {
  QProcess tool;
  tool.setProcessEnvironment(environment_);
  tool.start(Q(programFolder_ / name), arguments);
  tool.write(input);
  tool.closeWriteChannel();
  CommandResult result;
  if (!tool.waitForFinished(30000))
    return result;
  result.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
  result.out = tool.readAllStandardOutput().toStdString();
  result.err = tool.readAllStandardError().toStdString();
  return result;
}

CommandResult ProgramSession::Oectl(const QStringList& arguments) {
  return RunTool("oectl", arguments, {});
}

CommandResult ProgramSession::Lists(const QStringList& arguments, const QByteArray& input) {
  return RunTool("tervane-lists", arguments, input);
}

std::map<std::string, int> ProgramSession::FolderCounts() {
  std::map<std::string, int> counts;
  for (const auto& row : Oectl({"folders"}).Rows()) {
    if (row.size() == 3)
      counts[row[1]] = std::stoi(row[2]);
  }
  return counts;
}

std::vector<std::string> ProgramSession::MessageIds(const std::string& folder) {
  std::vector<std::string> ids;
  for (const auto& row : Oectl({"list", QString::fromStdString(folder)}).Rows())
    ids.push_back(row.at(0));
  return ids;
}

void ProgramSession::Deliver(const std::string& sender, const std::string& body,
                             const std::string& folder, const std::string& recipient,
                             const std::string& extraHeaders) {
  const fs::path file = root_ / ("message" + std::to_string(++delivered_) + ".eml");
  std::ofstream(file) << "From: <" << sender << ">\nTo: <" << recipient << ">\n"
                      << extraHeaders << "Subject: message " << delivered_ << "\n\n"
                      << body;
  Oectl({"deliver", Q(file), QString::fromStdString(folder)});
}

}  // namespace tervane::testing
