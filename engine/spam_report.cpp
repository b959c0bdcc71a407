#include "engine/spam_report.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "base/c_owned.h"
#include "base/hex.h"

namespace tervane {
namespace {

bool IsKeptInQueryValue(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '@';
}

}  // namespace

std::string ContentDigest(std::string_view contentText) {
  COwned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), contentText.data(), contentText.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
    throw std::runtime_error("MD5 digest is not available");
  }
  return HexDigits(std::string_view(reinterpret_cast<const char*>(digest), length),
                   HexCase::kUpper);
}

std::string EncodeQueryValue(std::string_view senderAddress) {
  std::string encoded;
  encoded.reserve(senderAddress.size());
  for (const char c : senderAddress) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsKeptInQueryValue(byte)) {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      AppendHexByte(encoded, byte, HexCase::kUpper);
    }
  }
  return encoded;
}

std::string SpamReportAddress(std::string_view host, std::string_view senderAddress,
                              std::string_view contentText) {
  std::string address = "http://";
  address += host;
  address += "/reportspam.php?spam=";
  address += EncodeQueryValue(senderAddress);
  address += "&content=";
  address += ContentDigest(contentText);
  return address;
}

}  // namespace tervane
