#ifndef TERVANE_REFLIST_RELEASE_MANIFEST_H_
#define TERVANE_REFLIST_RELEASE_MANIFEST_H_

// A published version of the reference list and what proves it.
//
// The server answers GET /reference/latest with the manifest as JSON:
//   {"version": 42, "addresses": 18204, "sha256": "<64 hex>", "signature": "<128 hex>",
//    "list": "/reference/42.txt"}
// and GET /reference/42.txt with the list text (reflist/address_list.h). "sha256" is the
// SHA-256 of exactly that text; "signature" is the Ed25519 signature, by the maker's key, of the
// bytes SignedBytes(version, sha256), which are
//   the version in decimal, "\n", the 64 lower-case hex digits of the SHA-256, "\n"
// e.g. "42\n9f86d0...0f00a08\n". The address count is not signed: update counts the lines itself.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tervane {

struct ReleaseManifest {
  int64_t version = 0;       // 1, 2, 3 ... one more for each published change
  int64_t addressCount = 0;  // lines of the list text
  std::string sha256;        // 64 lower-case hex digits
  std::string signature;     // 128 lower-case hex digits
};

// The exact bytes that are signed and checked for a version and the SHA-256 of its list text.
std::string SignedBytes(int64_t version, std::string_view sha256Hex);

// The SHA-256 of bytes as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

// The path of a version's list text on the server: "/reference/<version>.txt".
std::string ListPath(int64_t version);

// The manifest as the JSON object above.
std::string ManifestJson(const ReleaseManifest& manifest);

// The manifest in json, or nullopt when json is not such an object: a missing or mistyped
// member, a version below 1, a negative count, a digest or signature of the wrong form.
// Members it does not know are ignored. Never throws.
std::optional<ReleaseManifest> ParseManifestJson(std::string_view json);

}  // namespace tervane

#endif  // TERVANE_REFLIST_RELEASE_MANIFEST_H_
