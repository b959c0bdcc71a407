#ifndef TERVANE_ENGINE_ADDRESS_RULES_H_
#define TERVANE_ENGINE_ADDRESS_RULES_H_

#include <string>
#include <string_view>

namespace tervane {

// The three text rules over a message's header text. All are pure, never throw and accept any
// bytes. Markers are matched exactly (letter case included); addresses come back exactly as
// written, possibly empty.

// Returns the sender's address: the text after "Return-Path: <" up to the next ">" when that
// marker occurs anywhere; else the first "<...>" from the first "From: " on (from the start of
// the text when there is no "From: "). Empty when no ">" closes it.
std::string ExtractSenderAddress(std::string_view headerText);

// Returns the first recipient's address: the first "<...>" from the first line feed followed
// by "To: " on (from the start of the text when there is none). Empty when no ">" closes it.
std::string ExtractRecipientAddress(std::string_view headerText);

// Returns true iff text has an "@" that is not its first character, and after that first "@"
// a "." that is neither the first nor the last character of the rest.
bool IsValidEmail(std::string_view text);

// Returns true iff text is a domain entry of a list: "@" and a domain that passes IsValidEmail's
// test of a domain (a "." that is neither its first nor its last character), with no further
// "@". Such an entry stands for every address with exactly that domain.
bool IsDomainEntry(std::string_view text);

// The domain entry an address falls under: "@" and what follows its last "@"; empty when it has
// no "@".
std::string DomainEntryOf(std::string_view address);

// What the user is told when IsValidEmail refuses an address typed or given to add.
inline constexpr std::string_view kInvalidEmailMessage = "please input a valid email.";

// Returns true iff a and b are the same address with ASCII letter case ignored, as the lists'
// lookups compare them.
bool SameAddress(std::string_view a, std::string_view b);

}  // namespace tervane

#endif  // TERVANE_ENGINE_ADDRESS_RULES_H_
