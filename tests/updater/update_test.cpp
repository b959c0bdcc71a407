// update run as the real program against a real tervane-server and against a fixture that
// tampers with what it serves: every bad answer leaves ospam.mdb byte for byte as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QEventLoop>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <set>

#include "reflist/address_list.h"
#include "reflist/ed25519_keys.h"
#include "reflist/release_manifest.h"
#include "store/database_maker.h"
#include "store/filter_database.h"
#include "store/reference_version.h"
#include "tests/server/server_under_test.h"
#include "tests/support/child_process.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"
#include "updater/update_result.h"
#include "updater/update_window.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::ServerUnderTest;
using testing::TempDir;

struct UpdateRun {
  int exitCode = -1;
  std::string out;
};

// Serves what a test sets: the manifest at /reference/latest (with its status) and one list
// text at /reference/<anything>.
class TamperingServer {
 public:
  TamperingServer() {
    http_.route("/reference/", [this](const QString& name) {
      if (name == "latest")
        return QHttpServerResponse("application/json", manifest, manifestStatus);
      return QHttpServerResponse("text/plain", list);
    });
    port_ = http_.listen(QHostAddress::LocalHost, 0);
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

  QByteArray manifest;
  QHttpServerResponse::StatusCode manifestStatus = QHttpServerResponse::StatusCode::Ok;
  QByteArray list;

 private:
  QHttpServer http_;
  quint16 port_ = 0;
};

// Takes every request and begins an answer of 100,000 bytes, then either sends one more byte
// every 100 ms (trickling) or closes the connection.
class BreakingServer {
 public:
  explicit BreakingServer(bool trickle) {
    QObject::connect(&server_, &QTcpServer::newConnection, [this, trickle] {
      QTcpSocket* socket = server_.nextPendingConnection();
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, trickle] {
        socket->readAll();
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n{");
        if (!trickle)
          return socket->disconnectFromHost();
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write(" "); });
        timer->start(100);
      });
    });
    server_.listen(QHostAddress::LocalHost);
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(server_.serverPort()); }

 private:
  QTcpServer server_;
};

QByteArray Bytes(const std::string& text) {
  return QByteArray::fromStdString(text);
}

class UpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Tests that run update as nobody need to reach into the folders.
    fs::permissions(root_.path(), fs::perms::all);
    for (const fs::path& folder : {program_, runtime_, dataHome_, keys_}) {
      fs::create_directories(folder);
      fs::permissions(folder, fs::perms::all);
    }
    fs::copy_file(TERVANE_UPDATE_PATH, program_ / "update");
    MakeKeyPair(keys_);
    fs::copy_file(keys_ / "update.pub", program_ / "update.pub");
    fs::permissions(program_ / "update.pub", fs::perms::owner_read | fs::perms::others_read);
    key_.emplace(SigningKey::Load(keys_ / "update.key"));
    CreateReferenceDatabase(program_ / "ospam.mdb", {"old@spam.example", "older@spam.example"});
  }

  // Runs update with TERVANE_SERVER=server (and the given arguments), serving this process's
  // events meanwhile, for at most 60 seconds.
  // As nobody (when root) with asNobody; childSetup runs in update's process before it starts
  // (async-signal-safe calls only).
  UpdateRun RunUpdate(const std::string& server, const QStringList& arguments = {},
                      std::function<void()> childSetup = {}, bool asNobody = false) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
      environment.remove(name);
    environment.insert("TERVANE_SERVER", QString::fromStdString(server));
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime_.string()));
    environment.insert("XDG_DATA_HOME", QString::fromStdString(dataHome_.string()));
    process.setProcessEnvironment(environment);
    if (childSetup)
      process.setChildProcessModifier(childSetup);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    QStringList command;
    if (asNobody) {
      for (const std::string& word : testing::UnprivilegedCommandPrefix())
        command << QString::fromStdString(word);
    }
    command << QString::fromStdString((program_ / "update").string()) << arguments;
    process.start(command.front(), command.mid(1));
    loop.exec();
    UpdateRun run;
    if (process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit)
      run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    return run;
  }

  // A manifest for list text, signed by key; count -1 counts the lines.
  QByteArray Manifest(const SigningKey& key, int64_t version, const std::string& list,
                      int64_t count = -1) {
    ReleaseManifest manifest{version, count, Sha256Hex(list), ""};
    if (count < 0)
      manifest.addressCount = std::count(list.begin(), list.end(), '\n');
    manifest.signature = key.SignHex(SignedBytes(version, manifest.sha256));
    return Bytes(ManifestJson(manifest));
  }

  std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.insert(entry.path().filename().string());
    return names;
  }

  // Whether the reference database in folder lists address.
  bool Lists(const fs::path& folder, const std::string& address) {
    FilterDatabase db;
    db.ADOConnection2.SetConnectionString(ReferenceConnectionString(folder));
    db.ADOConnection2.Open();
    db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, address);
    return !db.ADODataSet2.IsEmpty();
  }

  TempDir root_;
  const fs::path program_ = root_ / "program";
  const fs::path runtime_ = root_ / "run";
  const fs::path dataHome_ = root_ / "data";
  const fs::path keys_ = root_ / "keys";
  std::optional<SigningKey> key_;
};

TEST_F(UpdateTest, BringsTheSignedListAndIsThenUpToDate) {
  // A domain entry travels like an address.
  ServerUnderTest server(
      (root_ / "reports.sqlite").string(), *key_,
      {"old@spam.example", "new@spam.example", "third@spam.example", "@whole.example"});
  const UpdateRun first = RunUpdate(server.Host());
  EXPECT_EQ(first.exitCode, 0) << first.out;
  EXPECT_EQ(first.out, "Reference list updated to version 1: 4 addresses (+2).\n");
  EXPECT_TRUE(Lists(program_, "NEW@spam.example"));
  EXPECT_TRUE(Lists(program_, "@whole.example"));
  EXPECT_FALSE(Lists(program_, "older@spam.example"));
  const std::string updated = testing::ReadBytes(program_ / "ospam.mdb");

  const UpdateRun second = RunUpdate(server.Host());
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, "Already up to date.\n");
  EXPECT_EQ(testing::ReadBytes(program_ / "ospam.mdb"), updated);
  // No temporary file stays; the lock file is the folder owner's, made once and kept.
  EXPECT_EQ(Entries(program_),
            (std::set<std::string>{"ospam.mdb", "tervane.lock", "update", "update.pub"}));
}

TEST_F(UpdateTest, EveryBadAnswerLeavesTheListUnchanged) {
  TamperingServer tamper;
  TempDir strangerKeys;
  MakeKeyPair(strangerKeys.path());
  const SigningKey stranger = SigningKey::Load(strangerKeys / "update.key");
  const std::string list = "a@spam.example\nb@spam.example\nc@spam.example\n";
  QTcpServer silent;  // accepts and never answers
  silent.listen(QHostAddress::LocalHost);
  BreakingServer trickling(true);
  BreakingServer cutting(false);
  QTcpServer closed;  // a port where nothing listens
  closed.listen(QHostAddress::LocalHost);
  const std::string closedHost = "127.0.0.1:" + std::to_string(closed.serverPort());
  closed.close();
  SetReferenceListVersion(program_ / "ospam.mdb", 5);

  struct Row {
    const char* name;
    std::function<std::string()> prepare;  // sets the fixture up, returns the server to use
    std::string reason;
    QStringList arguments;
  };
  const std::vector<Row> rows = {
      {"offline", [&] { return closedHost; }, "cannot reach the maker's server", {}},
      {"timeout",
       [&] { return "127.0.0.1:" + std::to_string(silent.serverPort()); },
       "did not answer within 1 seconds",
       {"--timeout", "1"}},
      {"trickle",
       [&] { return trickling.Host(); },
       "did not send the list within 2 seconds",
       {"--timeout", "5", "--deadline", "2"}},
      {"cut off", [&] { return cutting.Host(); }, "broke off the transfer", {}},
      {"http error",
       [&] {
         tamper.manifestStatus = QHttpServerResponse::StatusCode::InternalServerError;
         return tamper.Host();
       },
       "answered 500",
       {}},
      {"not a manifest",
       [&] {
         tamper.manifestStatus = QHttpServerResponse::StatusCode::Ok;
         tamper.manifest = "<html>moved</html>";
         return tamper.Host();
       },
       "does not describe a reference list",
       {}},
      {"manifest too long",
       [&] {
         tamper.manifest = Manifest(*key_, 6, list) + QByteArray(8 * 1024, ' ');
         return tamper.Host();
       },
       "too long to describe a reference list",
       {}},
      {"bad signature",
       [&] {
         tamper.manifest = Manifest(stranger, 6, list);
         tamper.list = Bytes(list);
         return tamper.Host();
       },
       "signature does not match",
       {}},
      {"forged list",
       [&] {
         tamper.manifest = Manifest(*key_, 6, list);
         tamper.list = Bytes("evil@spam.example\n");
         return tamper.Host();
       },
       "does not match its signed SHA-256",
       {}},
      {"truncated list",
       [&] {
         tamper.list = Bytes(list.substr(0, list.size() - 6));
         return tamper.Host();
       },
       "does not match its signed SHA-256",
       {}},
      {"invalid line",
       [&] {
         const std::string bad = "a@spam.example\nnot an address\n";
         tamper.manifest = Manifest(*key_, 6, bad);
         tamper.list = Bytes(bad);
         return tamper.Host();
       },
       "invalid line (line 2)",
       {}},
      {"wrong count",
       [&] {
         tamper.manifest = Manifest(*key_, 6, list, 4);
         tamper.list = Bytes(list);
         return tamper.Host();
       },
       "holds 3 addresses, not the 4 announced",
       {}},
      {"same version, another list",
       [&] {
         const std::string other = "a@spam.example\nb@spam.example\n";
         tamper.manifest = Manifest(*key_, 5, other);
         tamper.list = Bytes(other);
         return tamper.Host();
       },
       "the server's list of version 5 differs from your list of the same version",
       {}},
      {"same version, another size",
       [&] {
         tamper.manifest = Manifest(*key_, 5, list);
         return tamper.Host();
       },
       "the server's list of version 5 differs from your list of the same version",
       {}},
      {"older version",
       [&] {
         tamper.manifest = Manifest(*key_, 4, list);
         return tamper.Host();
       },
       "offers version 4, older than your version 5",
       {}},
  };
  const std::string before = testing::ReadBytes(program_ / "ospam.mdb");
  const std::set<std::string> entries = Entries(program_);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string host = row.prepare();
    const UpdateRun run = RunUpdate(host, row.arguments);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.starts_with("Update failed: ")) << run.out;
    EXPECT_NE(run.out.find(row.reason), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with("; your list is unchanged.\n")) << run.out;
    EXPECT_EQ(testing::ReadBytes(program_ / "ospam.mdb"), before);
    EXPECT_EQ(Entries(program_), entries);
  }
}

TEST_F(UpdateTest, AListThatRemovesMostOfTheOneInPlaceIsTakenOnlyWhenAccepted) {
  // The maker's server publishes an empty list: every installed address would go.
  ServerUnderTest server((root_ / "reports.sqlite").string(), *key_, {});
  const std::string refused =
      "Update failed: version 1 would remove 2 of your 2 addresses, more than 50 % (update "
      "--accept-shrink takes it all the same); your list is unchanged.\n";
  struct Row {
    QStringList arguments;
    int exitCode;
    std::string out;
  };
  const std::vector<Row> rows = {
      {{}, 1, refused},
      {{"--max-shrink", "99"}, 1, std::string(refused).replace(refused.find("50"), 2, "99")},
      {{"--accept-shrink"}, 0, "Reference list updated to version 1: 0 addresses (-2).\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments.join(' ').toStdString());
    const std::string before = testing::ReadBytes(program_ / "ospam.mdb");
    const UpdateRun run = RunUpdate(server.Host(), row.arguments);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(testing::ReadBytes(program_ / "ospam.mdb") == before, row.exitCode == 1);
  }
  EXPECT_FALSE(Lists(program_, "old@spam.example"));
}

TEST_F(UpdateTest, AFullDiskLeavesTheListUnchanged) {
  // A file-size limit in update's process plays the full disk: writes past it fail.
  std::vector<std::string> addresses = {"old@spam.example", "older@spam.example"};
  for (int i = 0; i < 5000; ++i)
    addresses.push_back("sender" + std::to_string(i) + "@spam.example");
  ServerUnderTest server((root_ / "reports.sqlite").string(), *key_, addresses);
  const std::string before = testing::ReadBytes(program_ / "ospam.mdb");
  const UpdateRun run = RunUpdate(server.Host(), {}, [] {
    const rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_IGN);
  });
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.out.starts_with("Update failed: cannot write the new list")) << run.out;
  EXPECT_EQ(testing::ReadBytes(program_ / "ospam.mdb"), before);
  EXPECT_EQ(Entries(program_), (std::set<std::string>{"ospam.mdb", "update", "update.pub"}));
}

TEST_F(UpdateTest, AReadOnlyProgramFolderIsUpdatedInTheUsersOwnFolder) {
  const std::vector<std::string> installed = {"old@spam.example", "older@spam.example"};
  std::vector<std::string> seed = installed;
  seed.push_back("new@spam.example");
  ServerUnderTest server((root_ / "reports.sqlite").string(), *key_, seed);
  fs::permissions(program_ / "ospam.mdb", fs::perms::owner_read | fs::perms::others_read);
  const std::string shipped = testing::ReadBytes(program_ / "ospam.mdb");
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec;
  fs::permissions(program_, readOnly);
  const UpdateRun run = RunUpdate(server.Host(), {}, {}, true);
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(testing::ReadBytes(program_ / "ospam.mdb"), shipped);
  const fs::path userFolder = dataHome_ / "tervane-antispam";
  EXPECT_TRUE(Lists(userFolder, "new@spam.example"));

  // The user's folder itself read-only: nothing can be written, nothing changes.
  const std::string newerDatabase = (root_ / "newer.sqlite").string();
  OpenReportStore(newerDatabase)
      ->AddVersion(ReleaseManifest{1, 0, std::string(64, '0'), std::string(128, '0')}, "", 0, 8);
  // Publishes version 2, above the user's version 1.
  seed.push_back("newer@spam.example");
  ServerUnderTest newer(newerDatabase, *key_, seed);
  const std::string mine = testing::ReadBytes(userFolder / "ospam.mdb");
  fs::permissions(userFolder, readOnly);
  const UpdateRun refused = RunUpdate(newer.Host(), {}, {}, true);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(refused.out.starts_with("Update failed: cannot write the new list")) << refused.out;
  EXPECT_EQ(testing::ReadBytes(userFolder / "ospam.mdb"), mine);
  EXPECT_EQ(Entries(userFolder), (std::set<std::string>{"ospam.mdb", "tervane.lock"}));
}

TEST(UpdateWindowTest, ShowsTheDownloadThenTheSentenceAndLetsTheUserClose) {
  UpdateWindow window;
  window.show();
  UpdateProgress progress;
  progress.stage = UpdateProgress::Stage::kDownloading;
  progress.version = 42;
  progress.bytesReceived = 1'500'000;
  progress.bytesTotal = 3'000'000;
  window.ShowProgress(progress);
  auto* bar = window.findChild<QProgressBar*>();
  auto* close = window.findChild<QPushButton*>();
  ASSERT_TRUE(bar && close);
  EXPECT_EQ(bar->value() * 2, bar->maximum());
  EXPECT_FALSE(close->isEnabled());
  if (const QString dir = qEnvironmentVariable("TERVANE_SCREENSHOTS"); !dir.isEmpty())
    window.grab().save(dir + "/update_progress.png");

  window.ShowResult("Reference list updated to version 42: 18,204 addresses (+311).", "");
  EXPECT_TRUE(close->isEnabled());
  EXPECT_FALSE(bar->isVisible());
  if (const QString dir = qEnvironmentVariable("TERVANE_SCREENSHOTS"); !dir.isEmpty())
    window.grab().save(dir + "/update_result.png");
  close->click();
  EXPECT_FALSE(window.isVisible());
}

TEST(UpdateResultTest, OneSentencePerOutcome) {
  UpdateResult result;
  result.outcome = UpdateResult::Outcome::kUpdated;
  result.version = 42;
  result.addresses = 18204;
  result.previousAddresses = 17893;
  EXPECT_EQ(ResultSentence(result),
            "Reference list updated to version 42: 18,204 addresses (+311).");
  result.previousAddresses = 1018204;
  EXPECT_EQ(ResultSentence(result),
            "Reference list updated to version 42: 18,204 addresses (-1,000,000).");
  result.previousAddresses.reset();
  EXPECT_EQ(ResultSentence(result), "Reference list updated to version 42: 18,204 addresses.");
  result.outcome = UpdateResult::Outcome::kUpToDate;
  EXPECT_EQ(ResultSentence(result), "Already up to date.");
  result.outcome = UpdateResult::Outcome::kFailed;
  result.reason = "signature does not match";
  EXPECT_EQ(ResultSentence(result),
            "Update failed: signature does not match; your list is unchanged.");
}

}  // namespace
}  // namespace tervane
