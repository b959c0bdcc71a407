#ifndef TERVANE_UI_MAKER_SITE_H_
#define TERVANE_UI_MAKER_SITE_H_

#include <cstdlib>
#include <string>
#include <string_view>

namespace tervane {

// The maker's web server, as a bare host name: the web site the about window links to, and the
// default host of the spam reports and the help page.
inline constexpr std::string_view kMakerHost = "www.tervane.example";

// The host (host[:port]) of the maker's web server that the program reports spam to and update
// fetches the reference list from: $TERVANE_SERVER when set and not empty (tests and a
// maker's own server point it elsewhere), else kMakerHost.
inline std::string MakerServerHost() {
  const char* server = std::getenv("TERVANE_SERVER");
  if (server != nullptr && *server != '\0')
    return server;
  return std::string(kMakerHost);
}

// The maker's support mail address, linked from the about window.
inline constexpr std::string_view kSupportAddress = "support@tervane.example";

}  // namespace tervane

#endif  // TERVANE_UI_MAKER_SITE_H_
