#ifndef TERVANE_SHELL_NETWORK_SPAM_REPORTER_H_
#define TERVANE_SHELL_NETWORK_SPAM_REPORTER_H_

#include <QNetworkAccessManager>
#include <string>

#include "engine/spam_reporter.h"
#include "ui/maker_site.h"  // MakerServerHost

namespace tervane {

// Sends each report as one HTTP GET through Qt Network. Nothing is awaited and no answer is
// read; each reply is deleted once finished, and requests still running when the reporter goes
// away are aborted. REQUIRES: a running Qt event loop on the calling thread to carry requests.
class NetworkSpamReporter : public ISpamReporter {
 public:
  NetworkSpamReporter() = default;
  NetworkSpamReporter(const NetworkSpamReporter&) = delete;
  NetworkSpamReporter& operator=(const NetworkSpamReporter&) = delete;

  void Navigate(const std::string& address) override;

 private:
  QNetworkAccessManager manager_;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_NETWORK_SPAM_REPORTER_H_
