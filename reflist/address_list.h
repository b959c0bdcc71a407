#ifndef TERVANE_REFLIST_ADDRESS_LIST_H_
#define TERVANE_REFLIST_ADDRESS_LIST_H_

// The text of a published reference list: one entry per line, each line ended by "\n", sorted
// by bytes, each entry once, in lower case (the filter's lookups ignore ASCII letter case, so one
// spelling is enough). An entry is an address, or a domain entry: "@" and a domain
// ("@example.com"), which stands for every sender whose address has exactly that domain after
// its last "@", never a subdomain. Nothing else: no comments, no blank lines.
// Pure functions; none throws.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

// The address with ASCII letters A-Z made lower case; every other byte unchanged.
std::string LowerCaseAddress(std::string_view address);

// True iff address may stand on a line of a published list: it passes IsValidEmail, holds no
// control character (below 0x20, or 0x7F), does not begin or end with a blank, does not begin
// with '#' (a list reader skips such a line as a comment) and has at most kMaxAddressBytes bytes.
bool IsPublishableAddress(std::string_view address);

// The longest address the server accepts in a report and publishes.
inline constexpr size_t kMaxAddressBytes = 320;

// True iff entry is "@" and a domain that a published list may hold: one with a '.' that is neither
// its first nor its last byte (as IsValidEmail asks of an address's domain), no further '@', no
// blank or control character, at most kMaxAddressBytes bytes in all.
bool IsPublishableDomainEntry(std::string_view entry);

// True iff entry may stand on a line of a published list: a publishable address or domain
// entry.
bool IsPublishableEntry(std::string_view entry);

// Sorts entries, drops repeats and joins them into list text. REQUIRES: every entry is
// publishable and in lower case.
std::string FormatAddressList(std::vector<std::string> entries);

// The entries of list text, or nullopt (with *badLine set to the 1-based line number, when
// given) if any line breaks the form above: not a publishable entry, not lower case, not after the
// line before it in byte order, or the text not ending with "\n". The empty text is the empty
// list.
std::optional<std::vector<std::string>> ParseAddressListText(std::string_view text,
                                                             size_t* badLine = nullptr);

}  // namespace tervane

#endif  // TERVANE_REFLIST_ADDRESS_LIST_H_
