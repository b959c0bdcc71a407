#ifndef TERVANE_REFLIST_HEX_H_
#define TERVANE_REFLIST_HEX_H_

#include <optional>
#include <string>
#include <string_view>

namespace tervane {

// bytes as lower-case hex digits, two per byte.
std::string HexDigits(std::string_view bytes);

// The bytes that hex spells (an even number of digits 0-9, a-f, A-F), or nullopt for any other
// text.
std::optional<std::string> BytesFromHex(std::string_view hex);

}  // namespace tervane

#endif  // TERVANE_REFLIST_HEX_H_
