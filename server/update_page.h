#ifndef TERVANE_SERVER_UPDATE_PAGE_H_
#define TERVANE_SERVER_UPDATE_PAGE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "reflist/release_manifest.h"

namespace tervane {

// The HTML of /tervane_spam_filter_update.htm: the newest version (or that none is published
// yet), how many addresses it holds, how many reports were received, and how to update.
std::string UpdatePageHtml(const std::optional<ReleaseManifest>& latest, int64_t reportCount);

}  // namespace tervane

#endif  // TERVANE_SERVER_UPDATE_PAGE_H_
