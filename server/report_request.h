#ifndef TERVANE_SERVER_REPORT_REQUEST_H_
#define TERVANE_SERVER_REPORT_REQUEST_H_

// The spam report as the client sends it: GET /reportspam.php?spam=ADDRESS&content=MD5, the
// address percent-encoded, the digest 32 hex digits. Pure; never throws.

#include <optional>
#include <string>
#include <string_view>

namespace tervane {

struct ReportRequest {
  std::string address;  // percent-decoded, in lower case, not empty
  std::string content;  // 32 upper-case hex digits
};

// The report in an encoded query ("spam=...&content=..."), or nullopt when it is malformed:
// "spam" or "content" missing or given twice, a bad percent escape ('%' not followed by two hex
// digits), the digest not 32 hex digits, the decoded address empty, longer than
// kMaxAddressBytes, holding a zero byte or a bad escape. The last is how a bad escape
// ("x%zz@...") arrives from Qt's HTTP layer, which makes every '%' of such a query "%25"; an
// address that really holds a '%' not followed by two hex digits is refused with it.
std::optional<ReportRequest> ParseReportQuery(std::string_view encodedQuery);

}  // namespace tervane

#endif  // TERVANE_SERVER_REPORT_REQUEST_H_
