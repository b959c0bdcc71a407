#ifndef TERVANE_UI_MAKER_SITE_H_
#define TERVANE_UI_MAKER_SITE_H_

#include <string_view>

namespace tervane {

// The maker's web server, as a bare host name: the web site the about window links to, and the
// default host of the spam reports and the help page.
inline constexpr std::string_view kMakerHost = "www.tervane.example";

// The maker's support mail address, linked from the about window.
inline constexpr std::string_view kSupportAddress = "support@tervane.example";

}  // namespace tervane

#endif  // TERVANE_UI_MAKER_SITE_H_
