#ifndef TERVANE_SERVER_REPORT_REQUEST_H_
#define TERVANE_SERVER_REPORT_REQUEST_H_

// The spam report as the client sends it: GET /reportspam.php?spam=ADDRESS&content=MD5, the
// address percent-encoded, the digest 32 hex digits. Pure; never throws.

#include <optional>
#include <string>
#include <string_view>

namespace tervane {

struct ReportRequest {
  std::string address;  // percent-decoded, in lower case; may be empty (the client reports an
                        // empty sender as it is; such an address is stored, never published)
  std::string content;  // 32 upper-case hex digits
};

// The report in an encoded query ("spam=...&content=..."), or nullopt when it is malformed:
// "spam" or "content" missing or given twice, the digest not 32 hex digits, the decoded
// address longer than kMaxAddressBytes or holding a zero byte.
std::optional<ReportRequest> ParseReportQuery(std::string_view encodedQuery);

}  // namespace tervane

#endif  // TERVANE_SERVER_REPORT_REQUEST_H_
