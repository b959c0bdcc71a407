#include "shell/network_spam_reporter.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QString>
#include <QUrl>
#include <cstdlib>

#include "ui/maker_site.h"

namespace tervane {

std::string MakerServerHost() {
  const char* server = std::getenv("TERVANE_SERVER");
  if (server != nullptr && *server != '\0') {
    return server;
  }
  return std::string(kMakerHost);
}

void NetworkSpamReporter::Navigate(const std::string& address) {
  // Tolerant parsing, as a browser's address bar: characters such as blanks are encoded on the
  // wire instead of making the request malformed.
  const QUrl url(QString::fromStdString(address), QUrl::TolerantMode);
  QNetworkReply* reply = manager_.get(QNetworkRequest(url));
  QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] {
    if (reply->error() != QNetworkReply::NoError) {
      log_.Write("report failed: " + reply->url().toString().toStdString() + ": " +
                 reply->errorString().toStdString());
    }
    reply->deleteLater();
  });
}

}  // namespace tervane
