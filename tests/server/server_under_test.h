#ifndef TERVANE_TESTS_SERVER_SERVER_UNDER_TEST_H_
#define TERVANE_TESTS_SERVER_SERVER_UNDER_TEST_H_

#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "reflist/ed25519_keys.h"
#include "server/reference_publisher.h"
#include "server/report_server.h"
#include "server/report_store.h"

namespace tervane::testing {

// One tervane-server in the test process: its store on database, a publisher with seed on a
// store of its own, and the HTTP server on a free port of 127.0.0.1, started (its first version
// published). REQUIRES: a Qt event loop runs while requests are expected; key outlives the
// object.
struct ServerUnderTest {
  ServerUnderTest(const std::string& database, const SigningKey& key, std::vector<std::string> seed,
                  ServerSettings settings = {}, std::unique_ptr<ReportStore> publishing = {})
      : store(OpenReportStore(database)),
        publishingStore(publishing ? std::move(publishing) : OpenReportStore(database)),
        publisher(*publishingStore, key, std::move(seed), PublishSettings{}),
        server(*store, publisher, std::move(settings)) {
    server.Start();
    port = server.Listen(QHostAddress::LocalHost, 0);
  }
  // "127.0.0.1:<port>"
  std::string Host() const { return "127.0.0.1:" + std::to_string(port); }

  // Runs a publishing round and serves events until it ended (at most ten seconds).
  void PublishAndWait() {
    QEventLoop loop;
    QObject::connect(&server, &ReportServer::PublishingDone, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    server.PublishNow();
    loop.exec();
  }

  std::unique_ptr<ReportStore> store;
  std::unique_ptr<ReportStore> publishingStore;
  ReferencePublisher publisher;
  ReportServer server;
  quint16 port = 0;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SERVER_SERVER_UNDER_TEST_H_
