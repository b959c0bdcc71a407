#ifndef TERVANE_SERVER_REPORT_SERVER_H_
#define TERVANE_SERVER_REPORT_SERVER_H_

// The maker's web server over Qt HttpServer:
//   GET /reportspam.php?spam=ADDRESS&content=MD5   records a spam report: 200 once it is
//       committed; 400 for a malformed request (or any other method than GET), not stored;
//       429 when the client is over its rate limit, with Retry-After: the whole seconds until
//       it may report again; 500 when the store fails.
//   GET /reference/latest        the newest version's manifest (reflist/release_manifest.h);
//                                404 while none is published
//   GET /reference/<version>.txt that version's list text; 404 when not stored
//   GET /tervane_spam_filter_update.htm   a page for people: version, counts, how to update
// Versions are published at Start and then every publishInterval, each time only when the list
// changed (ReferencePublisher). Requests are answered one after the other on the thread of the Qt
// event loop that owns the object; after Start, every publishing round runs on a thread of its
// own, so building a large list never holds up an answer.

#include <QByteArray>
#include <QFutureWatcher>
#include <QHostAddress>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

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
  // REQUIRES: store and publisher outlive the server; the publisher works on a store object of
  // its own (its own connection), since it runs on the publishing thread.
  ReportServer(ReportStore& store, ReferencePublisher& publisher, ServerSettings settings,
               QObject* parent = nullptr);
  ~ReportServer() override;

  // Listens on address:port (port 0: any free port). Returns the port, or 0 on failure.
  quint16 Listen(const QHostAddress& address, quint16 port);

  // Publishes now, on the calling thread, then every publishInterval on the publishing thread.
  // Throws StoreError or KeyError when the first publishing fails (later failures are written
  // to standard error and tried again).
  void Start();

  // Starts a publishing round on the publishing thread now, unless one is running (also what
  // the timer does). PublishingDone follows; a failure is written to standard error.
  void PublishNow();

 signals:
  // This server published a version (one that another server made is not announced here).
  void Published(int64_t version, int64_t addressCount);
  // A publishing round of PublishNow ended, whatever it found.
  void PublishingDone();

 private:
  QHttpServerResponse HandleReport(const QHttpServerRequest& request);
  QHttpServerResponse HandleReference(const QString& name);
  QHttpServerResponse HandleUpdatePage();
  // Takes in what a publishing round found: the newest list text, and Published when made here.
  void Take(Publication publication);
  void RoundEnded();
  std::string ClientAddress(const QHttpServerRequest& request) const;

  ReportStore& store_;
  ReferencePublisher& publisher_;
  ServerSettings settings_;
  RateLimiter limiter_;
  std::unique_ptr<QHttpServer> http_;
  QTimer publishTimer_;
  // The list text of the newest version this server knows, or of the one last asked for:
  // versions never change, and a large list is asked for by many.
  int64_t cachedVersion_ = 0;
  QByteArray cachedText_;
  // A round's publication, or why it failed.
  QFutureWatcher<std::variant<Publication, std::string>> round_;
  // Last, so that it is destroyed first: a running round ends before anything it uses.
  QThreadPool publishing_;
};

}  // namespace tervane

#endif  // TERVANE_SERVER_REPORT_SERVER_H_
