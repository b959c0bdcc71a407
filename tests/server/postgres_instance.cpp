#include "tests/server/postgres_instance.h"

#include "tests/support/free_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <pqxx/pqxx>
#include <sstream>
#include <system_error>

#include "tests/support/child_process.h"

namespace tervane::testing {
namespace {

constexpr int kStepTimeoutMs = 60000;
constexpr const char* kUnprivilegedUser = "nobody";

// The newest installed PostgreSQL's bin folder, or empty.
std::filesystem::path PostgresBinFolder() {
  std::error_code error;
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
    if (std::filesystem::exists(entry.path() / "bin" / "pg_ctl", error))
      found.push_back(entry.path() / "bin");
  }
  std::sort(found.begin(), found.end());
  return found.empty() ? std::filesystem::path() : found.back();
}

// Runs program with arguments, as nobody when this process is root (PostgreSQL refuses root). True
// iff it exited 0; otherwise *output holds what it printed.
bool RunStep(const std::filesystem::path& program, const QStringList& arguments,
             std::string* output) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.setWorkingDirectory("/");  // nobody may not enter ours
  QStringList command;
  for (const std::string& word : UnprivilegedCommandPrefix())
    command << QString::fromStdString(word);
  command << QString::fromStdString(program.string()) << arguments;
  process.start(command.front(), command.mid(1));
  const bool finished = process.waitForFinished(kStepTimeoutMs);
  *output = process.readAll().toStdString();
  if (!finished) {
    process.kill();
    process.waitForFinished();
    *output += " (timed out)";
  }
  return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The URI the ctest fixture left, or empty.
std::string FixtureUri() {
  std::ifstream in(TERVANE_POSTGRES_FIXTURE_FILE);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::unique_ptr<PostgresInstance> PostgresInstance::Start(std::string* reason) {
  const std::filesystem::path bin = PostgresBinFolder();
  if (bin.empty()) {
    *reason = "no PostgreSQL under /usr/lib/postgresql/*/bin (Debian package postgresql)";
    return nullptr;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "tervane-pg-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    *reason = "cannot make a temporary folder for PostgreSQL";
    return nullptr;
  }
  const std::filesystem::path folder(pattern);
  if (::geteuid() == 0) {
    const passwd* user = ::getpwnam(kUnprivilegedUser);
    if (user == nullptr || ::chown(folder.c_str(), user->pw_uid, user->pw_gid) != 0) {
      *reason = "running as root, and the folder cannot be given to the user nobody";
      std::filesystem::remove_all(folder);
      return nullptr;
    }
  }
  const std::filesystem::path data = folder / "data";
  const int port = FreeLocalPort();
  std::string output;
  if (!RunStep(bin / "initdb",
               {"-D", QString::fromStdString(data.string()), "-U", "postgres", "--auth=trust",
                "--no-sync", "-E", "UTF8", "--locale=C"},
               &output)) {
    *reason = "initdb failed: " + output;
    std::filesystem::remove_all(folder);
    return nullptr;
  }
  const QString settings =
      QString(
          "-c listen_addresses=127.0.0.1 -c port=%1 -c unix_socket_directories='' "
          "-c fsync=off -c max_connections=50")
          .arg(port);
  if (!RunStep(bin / "pg_ctl",
               {"-D", QString::fromStdString(data.string()), "-l",
                QString::fromStdString((folder / "log").string()), "-o", settings, "-w", "start"},
               &output)) {
    std::ifstream log(folder / "log");
    std::stringstream text;
    text << log.rdbuf();
    *reason = "pg_ctl start failed: " + output + text.str();
    std::filesystem::remove_all(folder);
    return nullptr;
  }
  return std::unique_ptr<PostgresInstance>(new PostgresInstance(
      folder, "postgresql://postgres@127.0.0.1:" + std::to_string(port) + "/postgres"));
}

void PostgresInstance::Stop(const std::filesystem::path& dataFolder) {
  std::string output;
  RunStep(PostgresBinFolder() / "pg_ctl",
          {"-D", QString::fromStdString((dataFolder / "data").string()), "-m", "immediate", "-w",
           "stop"},
          &output);
  std::error_code ignored;
  std::filesystem::remove_all(dataFolder, ignored);
}

PostgresInstance::~PostgresInstance() {
  if (!released_)
    Stop(folder_);
}

std::string FreshPostgresDatabase(std::string* skipReason) {
  // The fixture's instance, or else one of this process's own, started at first use.
  static std::string reason;
  static std::unique_ptr<PostgresInstance> own;
  static std::string serverUri = [] {
    std::string uri = FixtureUri();
    if (uri.starts_with("skip: ")) {
      reason = uri.substr(6);
      return std::string();
    }
    if (!uri.empty())
      return uri;
    own = PostgresInstance::Start(&reason);
    return own ? own->uri() : std::string();
  }();
  if (serverUri.empty()) {
    *skipReason = "PostgreSQL cannot start here: " + reason;
    return {};
  }
  static std::atomic<int> counter{0};
  const std::string name =
      "test_" + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1));
  try {
    pqxx::connection connection(serverUri);
    pqxx::nontransaction work(connection);
    work.exec("CREATE DATABASE " + name);
  } catch (const std::exception& e) {
    *skipReason = std::string("PostgreSQL refused a new database: ") + e.what();
    return {};
  }
  return serverUri.substr(0, serverUri.rfind('/') + 1) + name;
}

}  // namespace tervane::testing
