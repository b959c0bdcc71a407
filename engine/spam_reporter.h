#ifndef TERVANE_ENGINE_SPAM_REPORTER_H_
#define TERVANE_ENGINE_SPAM_REPORTER_H_

#include <string>

namespace tervane {

// Sends spam reports to the maker's web server (the program's WebBrowser1).
class ISpamReporter {
 public:
  virtual ~ISpamReporter() = default;
  // Starts one HTTP GET of address and returns at once; the answer is never read.
  virtual void Navigate(const std::string& address) = 0;
};

}  // namespace tervane

#endif  // TERVANE_ENGINE_SPAM_REPORTER_H_
