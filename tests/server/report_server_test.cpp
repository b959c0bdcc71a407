// tervane-server's HTTP side, on SQLite and on PostgreSQL: reports in, versions out.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <condition_variable>
#include <mutex>

#include "reflist/address_list.h"
#include "reflist/ed25519_keys.h"
#include "server/reference_publisher.h"
#include "server/report_server.h"
#include "server/report_store.h"
#include "tests/server/server_under_test.h"
#include "tests/server/store_backends.h"

namespace tervane {
namespace {

using testing::BackendNames;
using testing::ServerUnderTest;
using testing::StoreBackends;
using testing::TempDir;

constexpr char kDigestA[] = "0123456789ABCDEF0123456789ABCDEF";
constexpr char kDigestB[] = "fedcba9876543210fedcba9876543210";
const std::vector<std::string> kSeed = {"seed@list.example"};

struct Answer {
  int status = 0;
  std::string body;
  QByteArray retryAfter;
};

// A store whose publishing query waits, once closed, until Open (at most five seconds): a
// publishing round that takes as long as the test wants.
class GatedStore : public ReportStore {
 public:
  explicit GatedStore(std::unique_ptr<ReportStore> store) : store_(std::move(store)) {}

  // Publishing queries that have passed the gate since it was closed.
  int Passed() {
    std::lock_guard lock(mutex_);
    return passed_;
  }
  void Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
    passed_ = 0;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

  void AddReport(const SpamReport& report) override { store_->AddReport(report); }
  std::vector<std::string> QualifyingAddresses(const PublishRule& rule) override {
    {
      std::unique_lock lock(mutex_);
      changed_.wait_for(lock, std::chrono::seconds(5), [this] { return open_; });
      ++passed_;
    }
    return store_->QualifyingAddresses(rule);
  }
  std::vector<std::string> QualifyingDomains(const DomainRule& rule) override {
    return store_->QualifyingDomains(rule);
  }
  std::optional<ReleaseManifest> LatestVersion() override { return store_->LatestVersion(); }
  bool AddVersion(const ReleaseManifest& manifest, std::string_view listText, int64_t created,
                  int keepVersions) override {
    return store_->AddVersion(manifest, listText, created, keepVersions);
  }
  std::optional<std::string> ListText(int64_t version) override {
    return store_->ListText(version);
  }
  int64_t ReportCount() override { return store_->ReportCount(); }

 private:
  std::unique_ptr<ReportStore> store_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int passed_ = 0;
  bool open_ = true;  // the first version, at Start, passes
};

template <typename Backend>
class ReportServerTest : public testing::BackendTest<Backend> {
 protected:
  void SetUp() override {
    testing::BackendTest<Backend>::SetUp();
    if (this->IsSkipped())
      return;
    MakeKeyPair(keys_.path());
    key_.emplace(SigningKey::Load(keys_ / "update.key"));
    settings_.trustedProxy = QHostAddress::LocalHost;
  }

  ServerUnderTest& Server() {
    if (!server_)
      server_ = std::make_unique<ServerUnderTest>(this->database_, *key_, kSeed, settings_);
    return *server_;
  }

  // Sends one request to server and waits for the answer (at most ten seconds).
  Answer Send(const ServerUnderTest& server, const std::string& target,
              const std::string& client = "192.0.2.1", const QByteArray& method = "GET") {
    QNetworkRequest request(
        QUrl("http://127.0.0.1:" + QString::number(server.port) + QString::fromStdString(target),
             QUrl::StrictMode));
    request.setRawHeader("X-Forwarded-For", QByteArray::fromStdString(client));
    QNetworkReply* reply = network_.sendCustomRequest(request, method);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    Answer answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                  reply->readAll().toStdString(), reply->rawHeader("Retry-After")};
    reply->deleteLater();
    return answer;
  }
  Answer Send(const std::string& target, const std::string& client = "192.0.2.1",
              const QByteArray& method = "GET") {
    return Send(Server(), target, client, method);
  }

  // The status of the answer to a request whose target is sent exactly as given, even where a
  // URL class would mend it; 0 when none came within ten seconds.
  int RawStatus(const QByteArray& method, const std::string& target) {
    QTcpSocket socket;
    QByteArray answer;
    QEventLoop loop;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
      answer += socket.readAll();
      const qsizetype end = answer.indexOf("\r\n\r\n");
      const qsizetype length = answer.indexOf("Content-Length: ");
      if (end >= 0 && length >= 0 &&
          answer.size() >= end + 4 + answer.mid(length + 16, end - length - 16).toInt())
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    socket.connectToHost(QHostAddress::LocalHost, Server().port);
    socket.write(method + " " + QByteArray::fromStdString(target) +
                 " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    loop.exec();
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
  }

  TempDir keys_;
  std::optional<SigningKey> key_;
  ServerSettings settings_;
  std::unique_ptr<ServerUnderTest> server_;
  QNetworkAccessManager network_;
};

TYPED_TEST_SUITE(ReportServerTest, StoreBackends, BackendNames);

TYPED_TEST(ReportServerTest, AReportIsStoredBeforeItIsAnsweredAndOnlyWhenWellFormed) {
  struct Row {
    const char* name;
    std::string target;
    QByteArray method;
    int status;
  };
  const std::string spam = "/reportspam.php?spam=spammer%40x.example&content=";
  const std::vector<Row> rows = {
      {"well formed", spam + kDigestA, "GET", 200},
      {"lower-case digest", spam + kDigestB, "GET", 200},
      {"not a GET", spam + kDigestA, "POST", 400},
      {"no content", "/reportspam.php?spam=spammer%40x.example", "GET", 400},
      {"no spam", std::string("/reportspam.php?content=") + kDigestA, "GET", 400},
      {"digest of 31 digits", spam + std::string(kDigestA).substr(1), "GET", 400},
      {"digest not hex", spam + std::string(32, 'G'), "GET", 400},
      {"address of 321 bytes",
       "/reportspam.php?spam=" + std::string(311, 'a') + "%40x.example&content=" + kDigestA, "GET",
       400},
      {"address of 320 bytes",
       "/reportspam.php?spam=" + std::string(310, 'a') + "%40x.example&content=" + kDigestA, "GET",
       200},
      {"empty address", std::string("/reportspam.php?spam=&content=") + kDigestA, "GET", 400},
      {"bad escape", "/reportspam.php?spam=x%zz%40x.example&content=" + std::string(kDigestA),
       "GET", 400},
  };
  // A second store on the same database sees only what was committed.
  const std::unique_ptr<ReportStore> observer = OpenReportStore(this->database_);
  int64_t stored = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(this->RawStatus(row.method, row.target), row.status);
    stored += row.status == 200;
    EXPECT_EQ(observer->ReportCount(), stored);
  }
}

TYPED_TEST(ReportServerTest, TheAddressIsPercentDecodedAndPublishedOnceTwoClientsAgree) {
  auto& server = this->Server();
  const std::string target = "/reportspam.php?spam=O%27Neil%2Btag%40Example.com&content=";
  EXPECT_EQ(this->Send(target + kDigestA, "192.0.2.1").status, 200);
  EXPECT_EQ(this->Send(target + kDigestB, "2001:db8::7").status, 200);
  server.PublishAndWait();

  const Answer latest = this->Send("/reference/latest");
  ASSERT_EQ(latest.status, 200);
  const std::optional<ReleaseManifest> manifest = ParseManifestJson(latest.body);
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->version, 2);
  const Answer list = this->Send(ListPath(manifest->version));
  ASSERT_EQ(list.status, 200);
  EXPECT_EQ(list.body, "o'neil+tag@example.com\nseed@list.example\n");
  EXPECT_EQ(Sha256Hex(list.body), manifest->sha256);
  EXPECT_TRUE(VerifyingKey::Load(this->keys_ / "update.pub")
                  .Verify(SignedBytes(manifest->version, manifest->sha256), manifest->signature));

  const Answer page = this->Send("/tervane_spam_filter_update.htm");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("version 2, with 2 addresses"), std::string::npos);
  EXPECT_NE(page.body.find("2 spam reports"), std::string::npos);
}

TYPED_TEST(ReportServerTest, AClientOverItsRateLimitIsRefusedAndNothingIsStored) {
  this->settings_.rateLimitBurst = 3;
  this->settings_.rateLimitPerMinute = 1;
  const std::string target = std::string("/reportspam.php?spam=a%40x.example&content=") + kDigestA;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(this->Send(target, "192.0.2.1").status, 200);
  const Answer refused = this->Send(target, "192.0.2.1");
  EXPECT_EQ(refused.status, 429);
  // One report a minute: the next one is a minute away, less the moments the test took.
  EXPECT_GE(refused.retryAfter.toInt(), 50) << refused.retryAfter.toStdString();
  EXPECT_LE(refused.retryAfter.toInt(), 60) << refused.retryAfter.toStdString();
  EXPECT_EQ(this->Send(target, "192.0.2.2").status, 200);
  EXPECT_EQ(this->Server().store->ReportCount(), 4);
}

TYPED_TEST(ReportServerTest, UnknownVersionsAndNamesAreNotFound) {
  EXPECT_EQ(this->Send("/reference/1.txt").status, 200);
  for (const char* target :
       {"/reference/2.txt", "/reference/0.txt", "/reference/one.txt", "/reference/1", "/nothing"})
    EXPECT_EQ(this->Send(target).status, 404) << target;
}

TYPED_TEST(ReportServerTest, RequestsAreAnsweredWhileAVersionIsBeingBuilt) {
  auto gated = std::make_unique<GatedStore>(OpenReportStore(this->database_));
  GatedStore& gate = *gated;
  ServerUnderTest server(this->database_, *this->key_, kSeed, this->settings_, std::move(gated));
  const std::string target = "/reportspam.php?spam=late%40x.example&content=";
  EXPECT_EQ(this->Send(server, target + kDigestA, "192.0.2.1").status, 200);
  EXPECT_EQ(this->Send(server, target + kDigestB, "192.0.2.2").status, 200);

  gate.Close();
  QEventLoop loop;
  QObject::connect(&server.server, &ReportServer::PublishingDone, &loop, &QEventLoop::quit);
  server.server.PublishNow();
  EXPECT_EQ(this->Send(server, "/reference/latest").status, 200);
  EXPECT_EQ(this->Send(server, target + kDigestA, "192.0.2.3").status, 200);
  EXPECT_EQ(gate.Passed(), 0) << "the answers waited for the publishing round";

  gate.Open();
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(this->Send(server, ListPath(2)).body, "late@x.example\nseed@list.example\n");
}

TYPED_TEST(ReportServerTest, ServersSharingOneDatabaseServeTheSameVersions) {
  // Two stateless servers behind a load balancer: each receives one of the two reports, one of
  // them publishes, and both answer with the new version; only the one that made it says so.
  auto& first = this->Server();
  ServerUnderTest second(this->database_, *this->key_, kSeed, this->settings_);
  std::vector<int64_t> announced[2];
  for (int i : {0, 1}) {
    QObject::connect(
        &(i == 0 ? first : second).server, &ReportServer::Published,
        [&announced, i](int64_t version, int64_t) { announced[i].push_back(version); });
  }
  const std::string target = "/reportspam.php?spam=both%40x.example&content=";
  EXPECT_EQ(this->Send(first, target + kDigestA, "192.0.2.1").status, 200);
  EXPECT_EQ(this->Send(second, target + kDigestB, "192.0.2.2").status, 200);
  second.PublishAndWait();
  first.PublishAndWait();
  EXPECT_TRUE(announced[0].empty());
  EXPECT_EQ(announced[1], std::vector<int64_t>{2});
  for (const ServerUnderTest* server : {&first, &second}) {
    const std::optional<ReleaseManifest> manifest =
        ParseManifestJson(this->Send(*server, "/reference/latest").body);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->version, 2);
    EXPECT_EQ(this->Send(*server, ListPath(2)).body, "both@x.example\nseed@list.example\n");
  }
}

}  // namespace
}  // namespace tervane
