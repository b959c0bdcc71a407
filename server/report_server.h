#ifndef TERVANE_SERVER_REPORT_SERVER_H_
#define TERVANE_SERVER_REPORT_SERVER_H_

// The maker's web server over Qt HttpServer:
//   GET /reportspam.php?spam=ADDRESS&content=MD5   records a spam report: 200 once it is
//       committed; 400 for a malformed request (or any other method than GET), not stored;
//       429 when the client is over its rate limit; 500 when the store fails.
//   GET /reference/latest        the newest version's manifest (reflist/release_manifest.h);
//                                404 while none is published
//   GET /reference/<version>.txt that version's list text; 404 when not stored
//   GET /tervane_spam_filter_update.htm   a page for people: version, counts, how to update
// Versions are published at Start and then every publishInterval, each time only when the list
// changed (ReferencePublisher). Everything runs on the thread of the Qt event loop that owns
// the object; requests are answered one after the other.

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "server/rate_limiter.h"
#include "server/reference_publisher.h"
#include "server/report_store.h"

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;

namespace tervane {

struct ServerSettings {
  double rateLimitPerMinute = 120;  // 0: no limit
  double rateLimitBurst = 500;
  std::chrono::seconds publishInterval{60};
  // A load balancer in front of the servers: requests from this address carry the client's
  // own address as the last entry of X-Forwarded-For. Null: no proxy is trusted.
  QHostAddress trustedProxy;
  bool logReports = false;  // a line on standard output per stored report
};

class ReportServer : public QObject {
  Q_OBJECT

 public:
  // REQUIRES: store and publisher outlive the server.
  ReportServer(ReportStore& store, ReferencePublisher& publisher, ServerSettings settings,
               QObject* parent = nullptr);
  ~ReportServer() override;

  // Listens on address:port (port 0: any free port). Returns the port, or 0 on failure.
  quint16 Listen(const QHostAddress& address, quint16 port);

  // Publishes now, then every publishInterval. Throws StoreError or KeyError when the first
  // publishing fails (later failures are written to standard error and tried again).
  void Start();

  // Publishes a new version now when the list changed (also what the timer does). A failure is
  // written to standard error.
  void PublishNow();

 signals:
  // A version was published by this server.
  void Published(int64_t version, int64_t addressCount);

 private:
  QHttpServerResponse HandleReport(const QHttpServerRequest& request);
  QHttpServerResponse HandleReference(const QString& name);
  QHttpServerResponse HandleUpdatePage();
  // Publishes when the list changed and says so; throws StoreError or KeyError.
  void Publish();
  std::string ClientAddress(const QHttpServerRequest& request) const;

  ReportStore& store_;
  ReferencePublisher& publisher_;
  ServerSettings settings_;
  RateLimiter limiter_;
  std::unique_ptr<QHttpServer> http_;
  QTimer publishTimer_;
  // The list text last asked for: versions never change, and a large list is asked for by many.
  int64_t cachedVersion_ = 0;
  std::string cachedText_;
};

}  // namespace tervane

#endif  // TERVANE_SERVER_REPORT_SERVER_H_
