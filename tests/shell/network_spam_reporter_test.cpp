#include "shell/network_spam_reporter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/recording_log.h"
#include "tests/support/scoped_env.h"

namespace tervane {
namespace {

using testing::ScopedEnv;
using ::testing::UnorderedElementsAre;

constexpr char kEmptyDigest[] = "D41D8CD98F00B204E9800998ECF8427E";

// A local HTTP server that takes requests and never answers them.
class SilentServer {
 public:
  SilentServer() { EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0)); }

  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()); }

  // Returns the first lines of the next count requests, waiting at most 10 s for them.
  std::vector<std::string> RequestLines(size_t count) {
    std::vector<QTcpSocket*> sockets;
    std::vector<std::string> lines;
    const bool arrived = QTest::qWaitFor(
        [&] {
          while (server_.hasPendingConnections()) {
            sockets.push_back(server_.nextPendingConnection());
          }
          lines.clear();
          for (QTcpSocket* socket : sockets) {
            if (socket->canReadLine()) {
              lines.push_back(socket->peek(4096).split('\r').first().toStdString());
            }
          }
          return lines.size() >= count;
        },
        10000);
    EXPECT_TRUE(arrived) << lines.size() << " of " << count << " requests arrived";
    return lines;
  }

 private:
  QTcpServer server_;
};

TEST(NetworkSpamReporterTest, EachReportIsOneGetOfItsAddress) {
  SilentServer server;
  NullDecisionLog log;
  NetworkSpamReporter reporter{log};
  const std::string query = "/reportspam.php?spam=offers@cheap-pills.example&content=";
  reporter.Navigate(server.Origin() + query + kEmptyDigest);
  reporter.Navigate(server.Origin() + query + "0123456789ABCDEF0123456789ABCDEF");

  EXPECT_THAT(server.RequestLines(2),
              UnorderedElementsAre("GET " + query + kEmptyDigest + " HTTP/1.1",
                                   "GET " + query + "0123456789ABCDEF0123456789ABCDEF HTTP/1.1"));
}

TEST(NetworkSpamReporterTest, BlankInTheAddressIsEncodedOnTheWire) {
  SilentServer server;
  NullDecisionLog log;
  NetworkSpamReporter reporter{log};
  reporter.Navigate(server.Origin() + "/reportspam.php?spam=a b@x.example&content=" + kEmptyDigest);
  EXPECT_THAT(
      server.RequestLines(1),
      UnorderedElementsAre(std::string("GET /reportspam.php?spam=a%20b@x.example&content=") +
                           kEmptyDigest + " HTTP/1.1"));
}

// A report that cannot be sent is no longer silent: the log says which and why.
TEST(NetworkSpamReporterTest, AReportThatCannotBeSentIsLoggedWithTheReason) {
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const std::string origin = "http://127.0.0.1:" + std::to_string(closed.serverPort());
  closed.close();  // nothing listens there now: the connection is refused
  testing::RecordingLog log;
  NetworkSpamReporter reporter{log};
  reporter.Navigate(origin + "/reportspam.php?spam=a@x.example&content=" + kEmptyDigest);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !log.lines.empty(); }, 10000));
  EXPECT_THAT(log.lines.front(), ::testing::HasSubstr("report failed: " + origin +
                                                      "/reportspam.php?spam=a@x.example"));
  EXPECT_THAT(log.lines.front(), ::testing::HasSubstr("refused"));
}

TEST(MakerServerHostTest, EnvironmentOverridesTheMakersHost) {
  const struct {
    std::optional<std::string> server;
    std::string expected;
  } cases[] = {
      {std::nullopt, "www.tervane.example"},
      {"", "www.tervane.example"},
      {"127.0.0.1:8080", "127.0.0.1:8080"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server.value_or("(unset)"));
    const ScopedEnv server("TERVANE_SERVER", c.server);
    EXPECT_EQ(MakerServerHost(), c.expected);
  }
}

}  // namespace
}  // namespace tervane
