#include "server/report_server.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <ctime>
#include <exception>
#include <iostream>

#include "server/report_request.h"
#include "server/update_page.h"

namespace tervane {
namespace {

using Status = QHttpServerResponder::StatusCode;

QHttpServerResponse Answer(const char* mimeType, const std::string& body,
                           Status status = Status::Ok) {
  return QHttpServerResponse(QByteArray(mimeType), QByteArray::fromStdString(body), status);
}

QHttpServerResponse PlainAnswer(Status status, const char* text) {
  return Answer("text/plain", std::string(text) + "\n", status);
}

int64_t NowSeconds() {
  return static_cast<int64_t>(std::time(nullptr));
}

// IPv4 clients of a dual-stack socket arrive as ::ffff:a.b.c.d; they are kept as a.b.c.d.
std::string AddressText(const QHostAddress& address) {
  bool isIpv4 = false;
  const quint32 ipv4 = address.toIPv4Address(&isIpv4);
  return (isIpv4 ? QHostAddress(ipv4) : address).toString().toStdString();
}

}  // namespace

ReportServer::ReportServer(ReportStore& store, ReferencePublisher& publisher,
                           ServerSettings settings, QObject* parent)
    : QObject(parent),
      store_(store),
      publisher_(publisher),
      settings_(std::move(settings)),
      limiter_(settings_.rateLimitPerMinute, settings_.rateLimitBurst),
      http_(std::make_unique<QHttpServer>()) {
  http_->route("/reportspam.php",
               [this](const QHttpServerRequest& request) { return HandleReport(request); });
  http_->route("/reference/", [this](const QString& name) { return HandleReference(name); });
  http_->route("/tervane_spam_filter_update.htm", [this] { return HandleUpdatePage(); });
  publishTimer_.setInterval(settings_.publishInterval);
  connect(&publishTimer_, &QTimer::timeout, this, &ReportServer::PublishNow);
  connect(&round_, &QFutureWatcherBase::finished, this, &ReportServer::RoundEnded);
  publishing_.setMaxThreadCount(1);
}

ReportServer::~ReportServer() = default;

quint16 ReportServer::Listen(const QHostAddress& address, quint16 port) {
  return http_->listen(address, port);
}

void ReportServer::Start() {
  Take(publisher_.Publish(NowSeconds(), cachedVersion_));
  publishTimer_.start();
}

void ReportServer::PublishNow() {
  if (round_.isRunning())
    return;
  round_.setFuture(QtConcurrent::run(&publishing_,
                                     [this, now = NowSeconds(), known = cachedVersion_]()
                                         -> std::variant<Publication, std::string> {
                                       try {
                                         return publisher_.Publish(now, known);
                                       } catch (const std::exception& e) {
                                         return std::string(e.what());
                                       }
                                     }));
}

void ReportServer::RoundEnded() {
  auto result = round_.future().takeResult();
  if (auto* publication = std::get_if<Publication>(&result))
    Take(std::move(*publication));
  else
    std::cerr << "tervane-server: publishing failed: " << std::get<std::string>(result) << "\n";
  emit PublishingDone();
}

void ReportServer::Take(Publication publication) {
  if (publication.listText) {
    cachedText_ = std::move(*publication.listText);
    cachedVersion_ = publication.latest.version;
  }
  if (publication.madeHere)
    emit Published(publication.latest.version, publication.latest.addressCount);
}

std::string ReportServer::ClientAddress(const QHttpServerRequest& request) const {
  const QHostAddress peer = request.remoteAddress();
  if (!settings_.trustedProxy.isNull() && peer.isEqual(settings_.trustedProxy)) {
    const QByteArray forwarded = request.value("X-Forwarded-For");
    const QByteArray last = forwarded.mid(forwarded.lastIndexOf(',') + 1).trimmed();
    const QHostAddress client(QString::fromLatin1(last));
    if (!client.isNull())
      return AddressText(client);
  }
  return AddressText(peer);
}

QHttpServerResponse ReportServer::HandleReport(const QHttpServerRequest& request) {
  if (request.method() != QHttpServerRequest::Method::Get)
    return PlainAnswer(Status::BadRequest, "a report is sent with GET");
  const std::optional<ReportRequest> report =
      ParseReportQuery(request.url().query(QUrl::FullyEncoded).toStdString());
  if (!report)
    return PlainAnswer(Status::BadRequest, "malformed report");
  const std::string client = ClientAddress(request);
  const RateLimiter::Clock::time_point now = RateLimiter::Clock::now();
  if (!limiter_.Allow(client, now)) {
    QHttpServerResponse refused =
        PlainAnswer(Status::TooManyRequests, "too many reports; try again later");
    refused.setHeader("Retry-After", QByteArray::number(limiter_.RetryAfter(client, now).count()));
    return refused;
  }
  try {
    store_.AddReport(SpamReport{report->address, report->content, client, NowSeconds()});
  } catch (const std::exception& e) {
    std::cerr << "tervane-server: " << e.what() << "\n";
    return PlainAnswer(Status::InternalServerError, "the report could not be stored");
  }
  if (settings_.logReports)
    std::cout << "report from " << client << ": " << report->address << "\n" << std::flush;
  return PlainAnswer(Status::Ok, "thank you");
}

QHttpServerResponse ReportServer::HandleReference(const QString& name) {
  try {
    if (name == "latest") {
      const std::optional<ReleaseManifest> latest = store_.LatestVersion();
      if (!latest)
        return PlainAnswer(Status::NotFound, "no reference list is published yet");
      return Answer("application/json", ManifestJson(*latest));
    }
    bool isNumber = false;
    const qint64 version =
        name.endsWith(".txt") ? name.chopped(4).toLongLong(&isNumber) : qint64{0};
    if (!isNumber || version < 1)
      return PlainAnswer(Status::NotFound, "no such file");
    if (version != cachedVersion_) {
      const std::optional<std::string> text = store_.ListText(version);
      if (!text)
        return PlainAnswer(Status::NotFound, "no such version");
      cachedText_ = QByteArray::fromStdString(*text);
      cachedVersion_ = version;
    }
    return QHttpServerResponse("text/plain; charset=utf-8", cachedText_);
  } catch (const std::exception& e) {
    std::cerr << "tervane-server: " << e.what() << "\n";
    return PlainAnswer(Status::InternalServerError, "the reference list could not be read");
  }
}

QHttpServerResponse ReportServer::HandleUpdatePage() {
  try {
    return Answer("text/html; charset=utf-8",
                  UpdatePageHtml(store_.LatestVersion(), store_.ReportCount()));
  } catch (const std::exception& e) {
    std::cerr << "tervane-server: " << e.what() << "\n";
    return PlainAnswer(Status::InternalServerError, "the page could not be made");
  }
}

}  // namespace tervane
