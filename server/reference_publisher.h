#ifndef TERVANE_SERVER_REFERENCE_PUBLISHER_H_
#define TERVANE_SERVER_REFERENCE_PUBLISHER_H_

// Makes reference-list versions. The list of a moment is the seed list (the list that ships with
// the program) together with every reported address that passes the publishing rule: reported
// with at least minDigests distinct content digests from at least minClients distinct client
// addresses within the last days days. Addresses are published in lower case, and only those a
// list may hold (reflist/address_list.h). A version is made only when that list differs from the
// newest one, numbered one above it and signed.

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
  int keepVersions = 8;    // older versions are dropped from the store
};

class ReferencePublisher {
 public:
  // seed: addresses as read from the seed file; those a list cannot hold are left out.
  // REQUIRES: store and key outlive the publisher.
  ReferencePublisher(ReportStore& store, const SigningKey& key, std::vector<std::string> seed,
                     PublishSettings settings);

  // Builds the list as of now (seconds since 1970) and stores it as a new version when it
  // differs from the newest. Returns the newest version's manifest afterwards. Throws StoreError
  // or KeyError; nothing is stored then.
  ReleaseManifest Publish(int64_t now);

  // Seed addresses left out because a list cannot hold them.
  size_t SkippedSeedAddresses() const { return skippedSeed_; }

 private:
  ReportStore& store_;
  const SigningKey& key_;
  std::vector<std::string> seed_;
  size_t skippedSeed_ = 0;
  PublishSettings settings_;
};

}  // namespace tervane

#endif  // TERVANE_SERVER_REFERENCE_PUBLISHER_H_
