#ifndef TERVANE_SHELL_NETWORK_SPAM_REPORTER_H_
#define TERVANE_SHELL_NETWORK_SPAM_REPORTER_H_

#include <QNetworkAccessManager>
#include <string>

#include "engine/spam_reporter.h"
#include "log/decision_log.h"

namespace tervane {

// Returns the host of the maker's web server: $TERVANE_SERVER when set and not empty (tests
// point it at a local server), else kMakerHost.
std::string MakerServerHost();

// Sends each report as one HTTP GET through Qt Network. Nothing is awaited and no answer is
// read; a report that could not be sent (no network, a refused connection, an HTTP error) is
// written to log with the reason. Each reply is deleted once finished, and requests still running
// when the reporter goes away are aborted. REQUIRES: a running Qt event loop on the calling
// thread to carry requests; log outlives the reporter.
class NetworkSpamReporter : public ISpamReporter {
 public:
  explicit NetworkSpamReporter(DecisionLog& log) : log_(log) {}
  NetworkSpamReporter(const NetworkSpamReporter&) = delete;
  NetworkSpamReporter& operator=(const NetworkSpamReporter&) = delete;

  void Navigate(const std::string& address) override;

 private:
  DecisionLog& log_;
  QNetworkAccessManager manager_;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_NETWORK_SPAM_REPORTER_H_
