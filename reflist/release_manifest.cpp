#include "reflist/release_manifest.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "base/hex.h"

namespace tervane {
namespace {

constexpr size_t kSha256HexDigits = 64;
constexpr size_t kSignatureHexDigits = 128;

bool IsLowerHex(std::string_view text, size_t digits) {
  if (text.size() != digits)
    return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
      return false;
  }
  return true;
}

// A JSON number that is a whole number no smaller than minimum (JSON numbers are doubles; a
// count of up to 2^53 is exact).
std::optional<int64_t> WholeNumber(const QJsonValue& value, int64_t minimum) {
  if (!value.isDouble())
    return std::nullopt;
  const double number = value.toDouble();
  if (number < static_cast<double>(minimum) || number > 9007199254740992.0 ||
      number != static_cast<double>(static_cast<int64_t>(number)))
    return std::nullopt;
  return static_cast<int64_t>(number);
}

}  // namespace

std::string SignedBytes(int64_t version, std::string_view sha256Hex) {
  return std::to_string(version) + "\n" + std::string(sha256Hex) + "\n";
}

std::string Sha256Hex(std::string_view bytes) {
  const QByteArray digest =
      QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                               QCryptographicHash::Sha256);
  return HexDigits(std::string_view(digest.constData(), static_cast<size_t>(digest.size())));
}

std::string ListPath(int64_t version) {
  return "/reference/" + std::to_string(version) + ".txt";
}

std::string ManifestJson(const ReleaseManifest& manifest) {
  QJsonObject object;
  object.insert("version", static_cast<double>(manifest.version));
  object.insert("addresses", static_cast<double>(manifest.addressCount));
  object.insert("sha256", QString::fromStdString(manifest.sha256));
  object.insert("signature", QString::fromStdString(manifest.signature));
  object.insert("list", QString::fromStdString(ListPath(manifest.version)));
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<ReleaseManifest> ParseManifestJson(std::string_view json) {
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())));
  if (!document.isObject())
    return std::nullopt;
  const QJsonObject object = document.object();
  const std::optional<int64_t> version = WholeNumber(object.value("version"), 1);
  const std::optional<int64_t> count = WholeNumber(object.value("addresses"), 0);
  const QJsonValue sha256 = object.value("sha256");
  const QJsonValue signature = object.value("signature");
  if (!version || !count || !sha256.isString() || !signature.isString())
    return std::nullopt;
  ReleaseManifest manifest{*version, *count, sha256.toString().toStdString(),
                           signature.toString().toStdString()};
  if (!IsLowerHex(manifest.sha256, kSha256HexDigits) ||
      !IsLowerHex(manifest.signature, kSignatureHexDigits))
    return std::nullopt;
  return manifest;
}

}  // namespace tervane
