#ifndef TERVANE_TESTS_SERVER_SERVER_UNDER_TEST_H_
#define TERVANE_TESTS_SERVER_SERVER_UNDER_TEST_H_

#include <memory>
#include <string>
#include <vector>

#include "reflist/ed25519_keys.h"
#include "server/reference_publisher.h"
#include "server/report_server.h"
#include "server/report_store.h"

namespace tervane::testing {

// One tervane-server in the test process: its store on database, a publisher with seed, and
// the HTTP server on a free port of 127.0.0.1, started (its first version published).
// REQUIRES: a Qt event loop runs while requests are expected; key outlives the object.
struct ServerUnderTest {
  ServerUnderTest(const std::string& database, const SigningKey& key, std::vector<std::string> seed,
                  ServerSettings settings = {})
      : store(OpenReportStore(database)),
        publisher(*store, key, std::move(seed), PublishSettings{}),
        server(*store, publisher, std::move(settings)) {
    server.Start();
    port = server.Listen(QHostAddress::LocalHost, 0);
  }
  // "127.0.0.1:<port>"
  std::string Host() const { return "127.0.0.1:" + std::to_string(port); }

  std::unique_ptr<ReportStore> store;
  ReferencePublisher publisher;
  ReportServer server;
  quint16 port = 0;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SERVER_SERVER_UNDER_TEST_H_
