#include "server/reference_publisher.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <algorithm>
#include <utility>

#include "reflist/address_list.h"

namespace tervane {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// A fingerprint of addresses (their SHA-256 as raw bytes), to tell whether they changed.
std::string Fingerprint(const std::vector<std::string>& addresses) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  for (const std::string& address : addresses) {
    hash.addData(QByteArrayView(address.data(), static_cast<qsizetype>(address.size())));
    hash.addData(QByteArrayView("\n", 1));
  }
  return hash.result().toStdString();
}

std::string_view View(const QByteArray& bytes) {
  return std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace

ReferencePublisher::ReferencePublisher(ReportStore& store, const SigningKey& key,
                                       std::vector<std::string> seed, PublishSettings settings,
                                       std::vector<std::string> sharedDomains)
    : store_(store), key_(key), settings_(settings) {
  for (const std::string& entry : seed) {
    std::string lower = LowerCaseAddress(entry);
    if (IsPublishableEntry(lower))
      seed_.push_back(std::move(lower));
    else
      ++skippedSeed_;
  }
  std::sort(seed_.begin(), seed_.end());
  seed_.erase(std::unique(seed_.begin(), seed_.end()), seed_.end());
  for (const std::string& domain : sharedDomains)
    sharedDomains_.push_back(LowerCaseAddress(domain));
  std::sort(sharedDomains_.begin(), sharedDomains_.end());
}

std::vector<std::string> ReferencePublisher::ReportedEntries(int64_t now) {
  const auto inSeed = [this](const std::string& entry) {
    return std::binary_search(seed_.begin(), seed_.end(), entry);
  };
  const PublishRule rule{settings_.minDigests, settings_.minClients,
                         now - settings_.days * kSecondsPerDay};
  std::vector<std::string> reported;
  for (std::string& address : store_.QualifyingAddresses(rule)) {
    if (IsPublishableAddress(address) && !inSeed(address))
      reported.push_back(std::move(address));
  }
  const DomainRule domainRule{settings_.domainMinAddresses, settings_.domainMinClients,
                              now - settings_.domainDays * kSecondsPerDay};
  for (const std::string& domain : store_.QualifyingDomains(domainRule)) {
    const std::string entry = "@" + LowerCaseAddress(domain);
    if (IsPublishableDomainEntry(entry) && !inSeed(entry) &&
        !std::binary_search(sharedDomains_.begin(), sharedDomains_.end(), entry.substr(1)))
      reported.push_back(entry);
  }
  std::sort(reported.begin(), reported.end());
  reported.erase(std::unique(reported.begin(), reported.end()), reported.end());
  return reported;
}

QByteArray ReferencePublisher::ListText(const std::vector<std::string>& reported) const {
  qsizetype size = 0;
  for (const auto* part : {&seed_, &reported}) {
    for (const std::string& address : *part)
      size += static_cast<qsizetype>(address.size()) + 1;
  }
  QByteArray text;
  text.reserve(size);
  auto seed = seed_.begin();
  auto other = reported.begin();
  while (seed != seed_.end() || other != reported.end()) {
    const bool fromSeed = other == reported.end() || (seed != seed_.end() && *seed < *other);
    const std::string& address = fromSeed ? *seed++ : *other++;
    text.append(address.data(), static_cast<qsizetype>(address.size()));
    text.append('\n');
  }
  return text;
}

Publication ReferencePublisher::WithText(Publication publication, int64_t knownVersion) {
  if (publication.latest.version == knownVersion) {
    publication.listText.reset();
  } else if (!publication.listText) {
    if (const std::optional<std::string> stored = store_.ListText(publication.latest.version))
      publication.listText = QByteArray::fromStdString(*stored);
  }
  return publication;
}

Publication ReferencePublisher::Publish(int64_t now, int64_t knownVersion) {
  const std::vector<std::string> reported = ReportedEntries(now);
  std::optional<QByteArray> text;
  if (std::string fingerprint = Fingerprint(reported);
      listDigest_.empty() || fingerprint != reportedDigest_) {
    text = ListText(reported);
    listDigest_ = Sha256Hex(View(*text));
    reportedDigest_ = std::move(fingerprint);
  }
  const std::optional<ReleaseManifest> latest = store_.LatestVersion();
  if (latest && latest->sha256 == listDigest_)
    return WithText({*latest, false, std::move(text)}, knownVersion);

  if (!text)
    text = ListText(reported);
  ReleaseManifest manifest;
  manifest.version = latest ? latest->version + 1 : 1;
  manifest.addressCount = static_cast<int64_t>(seed_.size() + reported.size());
  manifest.sha256 = listDigest_;
  manifest.signature = key_.SignHex(SignedBytes(manifest.version, manifest.sha256));
  if (store_.AddVersion(manifest, View(*text), now, settings_.keepVersions))
    return WithText({manifest, true, std::move(text)}, knownVersion);
  // Another server published this number first; its version is the newest now.
  return WithText({store_.LatestVersion().value_or(manifest), false, std::nullopt}, knownVersion);
}

}  // namespace tervane
