// The report store and the publisher, the same cases on SQLite and on PostgreSQL.
#include <gtest/gtest.h>

#include <algorithm>

#include "reflist/address_list.h"
#include "reflist/ed25519_keys.h"
#include "server/reference_publisher.h"
#include "server/report_store.h"
#include "server/shared_domains.h"
#include "tests/server/store_backends.h"

namespace tervane {
namespace {

using testing::BackendNames;
using testing::StoreBackends;
using testing::TempDir;

constexpr int64_t kDay = 86400;
constexpr int64_t kNow = 1'800'000'000;

std::string Digest(char c) {
  return std::string(32, c);
}

std::vector<std::string> Sorted(std::vector<std::string> addresses) {
  std::sort(addresses.begin(), addresses.end());
  return addresses;
}

template <typename Backend>
class ReportStoreTest : public testing::BackendTest<Backend> {
 protected:
  void SetUp() override {
    testing::BackendTest<Backend>::SetUp();
    if (this->IsSkipped())
      return;
    store_ = OpenReportStore(this->database_);
  }

  void Report(const std::string& address, char digest, const std::string& client,
              int64_t received = kNow) {
    store_->AddReport(SpamReport{address, Digest(digest), client, received});
  }

  std::unique_ptr<ReportStore> store_;
};

TYPED_TEST_SUITE(ReportStoreTest, StoreBackends, BackendNames);

TYPED_TEST(ReportStoreTest, AnAddressQualifiesWithEnoughDistinctDigestsAndClientsInTheWindow) {
  struct Row {
    const char* address;
    std::vector<std::tuple<char, const char*, int64_t>> reports;  // digest, client, received
    bool qualifies;
  };
  const int64_t since = kNow - 90 * kDay;
  const std::vector<Row> rows = {
      {"two-digests-two-clients@x.example",
       {{'A', "192.0.2.1", kNow}, {'B', "192.0.2.2", kNow}},
       true},
      {"one-digest-two-clients@x.example",
       {{'A', "192.0.2.1", kNow}, {'A', "192.0.2.2", kNow}},
       false},
      {"two-digests-one-client@x.example",
       {{'A', "192.0.2.1", kNow}, {'B', "192.0.2.1", kNow}},
       false},
      {"one-report-too-old@x.example",
       {{'A', "192.0.2.1", since}, {'B', "192.0.2.2", since - 1}},
       false},
      {"oldest-counted-at-the-edge@x.example",
       {{'A', "192.0.2.1", since}, {'B', "192.0.2.2", since}},
       true},
      {"repeated-report@x.example",
       {{'A', "192.0.2.1", kNow}, {'A', "192.0.2.1", kNow}, {'A', "192.0.2.1", kNow}},
       false},
  };
  std::vector<std::string> expected;
  for (const Row& row : rows) {
    for (const auto& [digest, client, received] : row.reports)
      this->Report(row.address, digest, client, received);
    if (row.qualifies)
      expected.push_back(row.address);
  }
  EXPECT_EQ(Sorted(this->store_->QualifyingAddresses(PublishRule{2, 2, since})), Sorted(expected));
  // A stricter rule leaves every one of them out.
  EXPECT_TRUE(this->store_->QualifyingAddresses(PublishRule{3, 2, since}).empty());
}

TYPED_TEST(ReportStoreTest, ADomainQualifiesWithEnoughDistinctAddressesAndClientsInTheWindow) {
  struct Row {
    const char* domain;
    int addresses;  // distinct addresses reported, each by the next of clients in turn
    int clients;
    int64_t received;
    bool qualifies;
  };
  const int64_t since = kNow - 90 * kDay;
  const std::vector<Row> rows = {
      {"five-by-three.example", 5, 3, kNow, true},
      {"four-by-three.example", 4, 3, kNow, false},
      {"five-by-two.example", 5, 2, kNow, false},
      {"too-old.example", 5, 3, since - 1, false},
      {"at-the-edge.example", 5, 3, since, true},
      // Only the part after the last '@' is the domain; a subdomain is a domain of its own.
      {"x@last.example", 5, 3, kNow, false},
      {"sub.five-by-three.example", 1, 1, kNow, false},
  };
  for (const Row& row : rows) {
    for (int i = 0; i < row.addresses; ++i) {
      this->Report("sender" + std::to_string(i) + "@" + row.domain, 'A',
                   "192.0.2." + std::to_string(i % row.clients), row.received);
    }
  }
  // The same address again and again from many clients counts once.
  for (int i = 0; i < 6; ++i)
    this->Report("one@repeated.example", 'A', "198.51.100." + std::to_string(i));
  EXPECT_EQ(Sorted(this->store_->QualifyingDomains(DomainRule{5, 3, since})),
            Sorted({"at-the-edge.example", "five-by-three.example", "last.example"}));
}

TYPED_TEST(ReportStoreTest, AddressBytesComeBackUnchanged) {
  // Headers may hold 8-bit text that is not UTF-8, and quotes.
  const std::string address = "o'neil\xE9\xFF@caf\xE9.example";
  this->Report(address, 'A', "192.0.2.1");
  this->Report(address, 'B', "2001:db8::1");
  EXPECT_EQ(this->store_->QualifyingAddresses(PublishRule{2, 2, 0}),
            std::vector<std::string>{address});
  EXPECT_EQ(this->store_->QualifyingDomains(DomainRule{1, 2, 0}),
            std::vector<std::string>{"caf\xE9.example"});
  EXPECT_EQ(this->store_->ReportCount(), 2);
}

TYPED_TEST(ReportStoreTest, AVersionNumberIsTakenOnceAndOldVersionsAreDropped) {
  EXPECT_FALSE(this->store_->LatestVersion());
  const auto manifest = [](int64_t version) {
    return ReleaseManifest{version, 1, std::string(64, 'a'), std::string(128, 'b')};
  };
  EXPECT_TRUE(this->store_->AddVersion(manifest(1), "a@b.example\n", kNow, 2));
  EXPECT_FALSE(this->store_->AddVersion(manifest(1), "other@b.example\n", kNow, 2));
  EXPECT_EQ(this->store_->ListText(1), "a@b.example\n");
  for (int64_t version : {2, 3})
    EXPECT_TRUE(this->store_->AddVersion(manifest(version), "v@b.example\n", kNow, 2));
  ASSERT_TRUE(this->store_->LatestVersion());
  EXPECT_EQ(this->store_->LatestVersion()->version, 3);
  EXPECT_EQ(this->store_->LatestVersion()->signature, std::string(128, 'b'));
  EXPECT_FALSE(this->store_->ListText(1));
  EXPECT_TRUE(this->store_->ListText(2));
}

TYPED_TEST(ReportStoreTest, StoresOnOneDatabaseShareReportsAndVersions) {
  // Two stateless servers: what one stores, the other reads at once.
  const std::unique_ptr<ReportStore> other = OpenReportStore(this->database_);
  this->Report("shared@x.example", 'A', "192.0.2.1");
  other->AddReport(SpamReport{"shared@x.example", Digest('B'), "192.0.2.2", kNow});
  EXPECT_EQ(this->store_->QualifyingAddresses(PublishRule{2, 2, 0}).size(), 1u);
  other->AddVersion(ReleaseManifest{1, 1, std::string(64, 'c'), std::string(128, 'd')},
                    "shared@x.example\n", kNow, 8);
  ASSERT_TRUE(this->store_->LatestVersion());
  EXPECT_EQ(this->store_->LatestVersion()->sha256, std::string(64, 'c'));
}

template <typename Backend>
class PublisherTest : public ReportStoreTest<Backend> {
 protected:
  void SetUp() override {
    ReportStoreTest<Backend>::SetUp();
    if (this->IsSkipped())
      return;
    MakeKeyPair(keys_.path());
    key_.emplace(SigningKey::Load(keys_ / "update.key"));
  }

  ReferencePublisher Publisher(std::vector<std::string> seed,
                               std::vector<std::string> sharedDomains = {}) {
    return ReferencePublisher(*this->store_, *key_, std::move(seed), PublishSettings{},
                              std::move(sharedDomains));
  }

  TempDir keys_;
  std::optional<SigningKey> key_;
};

TYPED_TEST_SUITE(PublisherTest, StoreBackends, BackendNames);

TYPED_TEST(PublisherTest, PublishesTheSeedAndTheQualifyingAddressesSigned) {
  ReferencePublisher publisher =
      this->Publisher({"Offers@Cheap-Pills.example", "not an address", "z@seed.example"});
  EXPECT_EQ(publisher.SkippedSeedAddresses(), 1u);
  this->Report("reported@spam.example", 'A', "192.0.2.1");
  this->Report("reported@spam.example", 'B', "192.0.2.2");
  this->Report("once@spam.example", 'A', "192.0.2.1");

  const ReleaseManifest manifest = publisher.Publish(kNow).latest;
  EXPECT_EQ(manifest.version, 1);
  EXPECT_EQ(manifest.addressCount, 3);
  const std::optional<std::string> text = this->store_->ListText(1);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "offers@cheap-pills.example\nreported@spam.example\nz@seed.example\n");
  EXPECT_EQ(manifest.sha256, Sha256Hex(*text));
  const VerifyingKey publicKey = VerifyingKey::Load(this->keys_ / "update.pub");
  EXPECT_TRUE(publicKey.Verify(SignedBytes(1, manifest.sha256), manifest.signature));
}

TYPED_TEST(PublisherTest, ANewVersionComesOnlyWhenTheListChanges) {
  ReferencePublisher publisher = this->Publisher({"seed@x.example"});
  EXPECT_EQ(publisher.Publish(kNow).latest.version, 1);
  EXPECT_EQ(publisher.Publish(kNow + 60).latest.version, 1);

  this->Report("new@spam.example", 'A', "192.0.2.1");
  this->Report("new@spam.example", 'B', "192.0.2.2");
  const ReleaseManifest grown = publisher.Publish(kNow + 120).latest;
  EXPECT_EQ(grown.version, 2);
  EXPECT_EQ(grown.addressCount, 2);

  // Ninety days later the reports no longer count and the address leaves the list.
  const ReleaseManifest aged = publisher.Publish(kNow + 91 * kDay).latest;
  EXPECT_EQ(aged.version, 3);
  EXPECT_EQ(this->store_->ListText(3), "seed@x.example\n");
}

TYPED_TEST(PublisherTest, AReportedDomainIsPublishedWholeUnlessItIsShared) {
  ReferencePublisher publisher =
      this->Publisher({"@seed.example", "a@b.example"}, {"Shared.example"});
  for (const std::string domain : {"spammer.example", "shared.example", "seed.example"}) {
    for (int i = 0; i < 5; ++i)
      this->Report("s" + std::to_string(i) + "@" + domain, 'A', "192.0.2." + std::to_string(i));
  }
  const ReleaseManifest manifest = publisher.Publish(kNow).latest;
  EXPECT_EQ(this->store_->ListText(manifest.version),
            "@seed.example\n@spammer.example\na@b.example\n");
}

TEST(SharedDomainsTest, TheShippedListHoldsTheBigProvidersAndTheCorpussHamDomains) {
  const std::vector<std::string> shipped = ShippedSharedDomains();
  for (const char* domain : {"gmail.com", "hotmail.com", "yahoo.com", "spamassassin.taint.org"})
    EXPECT_NE(std::find(shipped.begin(), shipped.end(), domain), shipped.end()) << domain;
}

TYPED_TEST(PublisherTest, AddressesAListCannotHoldAreNeverPublished) {
  ReferencePublisher publisher = this->Publisher({});
  for (const std::string address :
       {"", "no-at-sign", "line\nbreak@x.example", "#comment@x.example", " blank@x.example"}) {
    this->Report(address, 'A', "192.0.2.1");
    this->Report(address, 'B', "192.0.2.2");
  }
  const ReleaseManifest manifest = publisher.Publish(kNow).latest;
  EXPECT_EQ(manifest.addressCount, 0);
  EXPECT_EQ(this->store_->ListText(manifest.version), "");
}

TYPED_TEST(PublisherTest, ServersSharingADatabaseContinueOneNumbering) {
  ReferencePublisher first = this->Publisher({"a@x.example"});
  const std::unique_ptr<ReportStore> otherStore = OpenReportStore(this->database_);
  ReferencePublisher second(*otherStore, *this->key_, {"a@x.example"}, PublishSettings{});
  EXPECT_EQ(first.Publish(kNow).latest.version, 1);
  EXPECT_EQ(second.Publish(kNow).latest.version, 1);  // the same list: nothing new
  otherStore->AddReport(SpamReport{"b@x.example", Digest('A'), "192.0.2.1", kNow});
  otherStore->AddReport(SpamReport{"b@x.example", Digest('B'), "192.0.2.2", kNow});
  EXPECT_EQ(first.Publish(kNow).latest.version, 2);
  EXPECT_EQ(second.Publish(kNow).latest.version, 2);
}

}  // namespace
}  // namespace tervane
