#include "server/reference_publisher.h"

#include <utility>

#include "reflist/address_list.h"

namespace tervane {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

}  // namespace

ReferencePublisher::ReferencePublisher(ReportStore& store, const SigningKey& key,
                                       std::vector<std::string> seed, PublishSettings settings)
    : store_(store), key_(key), settings_(settings) {
  for (const std::string& address : seed) {
    std::string lower = LowerCaseAddress(address);
    if (IsPublishableAddress(lower))
      seed_.push_back(std::move(lower));
    else
      ++skippedSeed_;
  }
}

ReleaseManifest ReferencePublisher::Publish(int64_t now) {
  std::vector<std::string> addresses = seed_;
  const PublishRule rule{settings_.minDigests, settings_.minClients,
                         now - settings_.days * kSecondsPerDay};
  for (std::string& address : store_.QualifyingAddresses(rule)) {
    if (IsPublishableAddress(address))
      addresses.push_back(std::move(address));
  }
  const std::string text = FormatAddressList(std::move(addresses));
  ReleaseManifest manifest;
  manifest.sha256 = Sha256Hex(text);

  const std::optional<ReleaseManifest> latest = store_.LatestVersion();
  if (latest && latest->sha256 == manifest.sha256)
    return *latest;
  manifest.version = latest ? latest->version + 1 : 1;
  manifest.addressCount = 0;
  for (const char c : text)
    manifest.addressCount += c == '\n';
  manifest.signature = key_.SignHex(SignedBytes(manifest.version, manifest.sha256));
  if (store_.AddVersion(manifest, text, now, settings_.keepVersions))
    return manifest;
  // Another server published this number first; its version is the newest now.
  return store_.LatestVersion().value_or(manifest);
}

}  // namespace tervane
