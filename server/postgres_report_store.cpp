#include "server/postgres_report_store.h"

#include <pqxx/pqxx>

namespace tervane {
namespace {

// Addresses are kept as bytes (bytea): a header may hold any bytes, which a text column of a
// UTF-8 database would refuse.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reports (id bigserial PRIMARY KEY, address bytea NOT NULL,"
    " content text NOT NULL, client text NOT NULL, received bigint NOT NULL);"
    "CREATE INDEX IF NOT EXISTS reports_by_address"
    " ON reports (address, received, content, client);"
    "CREATE TABLE IF NOT EXISTS versions (version bigint PRIMARY KEY,"
    " addresses bigint NOT NULL, sha256 text NOT NULL, signature text NOT NULL,"
    " created bigint NOT NULL, list bytea NOT NULL);";

// Servers starting together would race to create the tables; one lock makes them take turns.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7271003)";

pqxx::binarystring Bytes(std::string_view bytes) {
  return pqxx::binarystring(bytes.data(), bytes.size());
}

class PostgresReportStore : public ReportStore {
 public:
  explicit PostgresReportStore(const std::string& uri) {
    Run([&] {
      connection_ = std::make_unique<pqxx::connection>(uri);
      pqxx::work work(*connection_);
      work.exec(kSchemaLock);
      work.exec(kSchema);
      work.commit();
      connection_->prepare("add_report",
                           "INSERT INTO reports (address, content, client, received)"
                           " VALUES ($1, $2, $3, $4)");
    });
  }

  void AddReport(const SpamReport& report) override {
    Run([&] {
      pqxx::work work(*connection_);
      work.exec_prepared("add_report", Bytes(report.address), report.content, report.client,
                         report.received);
      work.commit();
    });
  }

  std::vector<std::string> QualifyingAddresses(const PublishRule& rule) override {
    std::vector<std::string> addresses;
    Run([&] {
      pqxx::read_transaction work(*connection_);
      const pqxx::result rows = work.exec_params(
          "SELECT address FROM reports WHERE received >= $1 GROUP BY address"
          " HAVING count(DISTINCT content) >= $2 AND count(DISTINCT client) >= $3",
          rule.since, rule.minDigests, rule.minClients);
      addresses.reserve(rows.size());
      for (const pqxx::row& row : rows)
        addresses.push_back(pqxx::binarystring(row[0]).str());
    });
    return addresses;
  }

  std::vector<std::string> QualifyingDomains(const DomainRule& rule) override {
    std::vector<std::string> domains;
    Run([&] {
      pqxx::read_transaction work(*connection_);
      // bytea has no search from the end: the escape form is text, where '@' stays itself.
      const pqxx::result rows = work.exec_params(
          "SELECT decode(substring(encode(address, 'escape') from '@([^@]*)$'), 'escape')"
          " FROM reports WHERE received >= $1 AND position('\\x40'::bytea in address) > 0"
          " GROUP BY 1 HAVING count(DISTINCT address) >= $2 AND count(DISTINCT client) >= $3",
          rule.since, rule.minAddresses, rule.minClients);
      domains.reserve(rows.size());
      for (const pqxx::row& row : rows)
        domains.push_back(pqxx::binarystring(row[0]).str());
    });
    return domains;
  }

  std::optional<ReleaseManifest> LatestVersion() override {
    std::optional<ReleaseManifest> latest;
    Run([&] {
      pqxx::read_transaction work(*connection_);
      const pqxx::result rows = work.exec(
          "SELECT version, addresses, sha256, signature FROM versions"
          " ORDER BY version DESC LIMIT 1");
      if (!rows.empty()) {
        latest = ReleaseManifest{rows[0][0].as<int64_t>(), rows[0][1].as<int64_t>(),
                                 rows[0][2].as<std::string>(), rows[0][3].as<std::string>()};
      }
    });
    return latest;
  }

  bool AddVersion(const ReleaseManifest& manifest, std::string_view listText, int64_t created,
                  int keepVersions) override {
    bool added = false;
    Run([&] {
      pqxx::work work(*connection_);
      const pqxx::result inserted = work.exec_params(
          "INSERT INTO versions (version, addresses, sha256, signature, created, list)"
          " VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT (version) DO NOTHING",
          manifest.version, manifest.addressCount, manifest.sha256, manifest.signature, created,
          Bytes(listText));
      added = inserted.affected_rows() == 1;
      work.exec_params("DELETE FROM versions WHERE version <= $1", manifest.version - keepVersions);
      work.commit();
    });
    return added;
  }

  std::optional<std::string> ListText(int64_t version) override {
    std::optional<std::string> text;
    Run([&] {
      pqxx::read_transaction work(*connection_);
      const pqxx::result rows =
          work.exec_params("SELECT list FROM versions WHERE version = $1", version);
      if (!rows.empty())
        text = pqxx::binarystring(rows[0][0]).str();
    });
    return text;
  }

  int64_t ReportCount() override {
    int64_t count = 0;
    Run([&] {
      pqxx::read_transaction work(*connection_);
      count = work.exec("SELECT count(*) FROM reports")[0][0].as<int64_t>();
    });
    return count;
  }

 private:
  // libpqxx throws its own errors and the standard library's.
  template <typename Body>
  static void Run(Body&& body) {
    TranslateErrors<std::exception>("PostgreSQL: ", std::forward<Body>(body));
  }

  std::unique_ptr<pqxx::connection> connection_;
};

}  // namespace

std::unique_ptr<ReportStore> OpenPostgresReportStore(const std::string& uri) {
  return std::make_unique<PostgresReportStore>(uri);
}

}  // namespace tervane
