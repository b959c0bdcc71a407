#ifndef TERVANE_ENGINE_SPAM_REPORT_H_
#define TERVANE_ENGINE_SPAM_REPORT_H_

#include <string>
#include <string_view>

namespace tervane {

// Returns the MD5 digest of the bytes of contentText as 32 uppercase hexadecimal digits.
std::string ContentDigest(std::string_view contentText);

// Returns senderAddress percent-encoded as a URL query value: letters, digits, "-", ".", "_",
// "~" and "@" stay as they are, every other byte becomes %XX (uppercase hex).
std::string EncodeQueryValue(std::string_view senderAddress);

// Returns the address that reports one spam message to the maker's web server:
// "http://" host "/reportspam.php?spam=" encoded sender "&content=" content digest.
std::string SpamReportAddress(std::string_view host, std::string_view senderAddress,
                              std::string_view contentText);

}  // namespace tervane

#endif  // TERVANE_ENGINE_SPAM_REPORT_H_
