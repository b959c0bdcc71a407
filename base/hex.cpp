#include "base/hex.h"

namespace tervane {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

}  // namespace

void AppendHexByte(std::string& out, unsigned char byte, HexCase letters) {
  const char* digits = letters == HexCase::kLower ? "0123456789abcdef" : "0123456789ABCDEF";
  out.push_back(digits[byte >> 4]);
  out.push_back(digits[byte & 0x0F]);
}

std::string HexDigits(std::string_view bytes, HexCase letters) {
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (const char c : bytes)
    AppendHexByte(hex, static_cast<unsigned char>(c), letters);
  return hex;
}

std::optional<std::string> BytesFromHex(std::string_view hex) {
  if (hex.size() % 2 != 0)
    return std::nullopt;
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = DigitValue(hex[i]);
    const int low = DigitValue(hex[i + 1]);
    if (high < 0 || low < 0)
      return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded.push_back(text[i]);
      continue;
    }
    const std::optional<std::string> byte =
        i + 2 < text.size() ? BytesFromHex(text.substr(i + 1, 2)) : std::nullopt;
    if (!byte)
      return std::nullopt;
    decoded += *byte;
    i += 2;
  }
  return decoded;
}

}  // namespace tervane
