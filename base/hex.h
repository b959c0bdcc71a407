#ifndef TERVANE_BASE_HEX_H_
#define TERVANE_BASE_HEX_H_

#include <optional>
#include <string>
#include <string_view>

namespace tervane {

// Hexadecimal digits, two per byte, high half first.

enum class HexCase { kLower, kUpper };

// Appends byte as two hex digits to out.
void AppendHexByte(std::string& out, unsigned char byte, HexCase letters = HexCase::kLower);

// bytes as hex digits, two per byte.
std::string HexDigits(std::string_view bytes, HexCase letters = HexCase::kLower);

// The bytes that hex spells (an even number of digits 0-9, a-f, A-F), or nullopt for any other
// text.
std::optional<std::string> BytesFromHex(std::string_view hex);

// text with every "%XX" replaced by the byte XX spells (RFC 3986), or nullopt when a '%' is not
// followed by two hex digits.
std::optional<std::string> PercentDecoded(std::string_view text);

}  // namespace tervane

#endif  // TERVANE_BASE_HEX_H_
