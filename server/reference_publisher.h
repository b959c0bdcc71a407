#ifndef TERVANE_SERVER_REFERENCE_PUBLISHER_H_
#define TERVANE_SERVER_REFERENCE_PUBLISHER_H_

// Makes reference-list versions. The list of a moment is the seed list (the list that ships with
// the program) together with every reported address that passes the publishing rule: reported
// with at least minDigests distinct content digests from at least minClients distinct client
// addresses within the last days days; and with the domain entry "@<domain>" of every domain
// that passes the domain rule: at least domainMinAddresses distinct addresses of it reported,
// from at least domainMinClients distinct clients, within the last domainDays days, unless it is
// a shared mail domain (server/shared_domains.h). Entries are published in lower case, and only
// those a list may hold (reflist/address_list.h). A version is made only when that list differs
// from the newest one, numbered one above it and signed.
//
// The seed is sorted once; a publishing round asks the store for the reported addresses and
// builds the whole list only when they differ from those of the round before, so a round that
// finds nothing new costs the query, not the seed's size. Not thread-safe: one round at a time.

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reflist/ed25519_keys.h"
#include "reflist/release_manifest.h"
#include "server/report_store.h"

namespace tervane {

struct PublishSettings {
  int64_t minDigests = 2;  // K
  int64_t minClients = 2;  // M
  int64_t days = 90;       // D
  int64_t domainMinAddresses = 5;
  int64_t domainMinClients = 3;
  int64_t domainDays = 90;
  int keepVersions = 8;  // older versions are dropped from the store
};

// What a publishing round found.
struct Publication {
  ReleaseManifest latest;  // the newest version afterwards
  bool madeHere = false;   // true iff this round stored latest (rather than another server)
  // latest's list text, unless the caller said it holds that version's text already (or another
  // server's newer versions have pushed it out of the store meanwhile).
  std::optional<QByteArray> listText;
};

class ReferencePublisher {
 public:
  // seed: entries as read from the seed file; those a list cannot hold are left out.
  // sharedDomains: the domains never published as a whole.
  // REQUIRES: store and key outlive the publisher.
  ReferencePublisher(ReportStore& store, const SigningKey& key, std::vector<std::string> seed,
                     PublishSettings settings, std::vector<std::string> sharedDomains = {});

  // Builds the list as of now (seconds since 1970) and stores it as a new version when it
  // differs from the newest. knownVersion: the version whose list text the caller holds (0:
  // none), which is then not read again. Throws StoreError or KeyError; nothing is stored then.
  Publication Publish(int64_t now, int64_t knownVersion = 0);

  // Seed entries left out because a list cannot hold them.
  size_t SkippedSeedAddresses() const { return skippedSeed_; }

 private:
  // The qualifying reported addresses and domain entries that the seed lacks: listable, sorted,
  // each once.
  std::vector<std::string> ReportedEntries(int64_t now);
  // The list text of the seed together with reported (sorted, none of them in the seed).
  QByteArray ListText(const std::vector<std::string>& reported) const;
  // publication with latest's text filled in unless it is knownVersion's.
  Publication WithText(Publication publication, int64_t knownVersion);

  ReportStore& store_;
  const SigningKey& key_;
  std::vector<std::string> seed_;  // sorted, each once
  size_t skippedSeed_ = 0;
  PublishSettings settings_;
  std::vector<std::string> sharedDomains_;  // sorted
  // The last round's reported entries (hashed) and the SHA-256 of its list.
  std::string reportedDigest_;
  std::string listDigest_;
};

}  // namespace tervane

#endif  // TERVANE_SERVER_REFERENCE_PUBLISHER_H_
