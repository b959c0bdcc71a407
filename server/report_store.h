#ifndef TERVANE_SERVER_REPORT_STORE_H_
#define TERVANE_SERVER_REPORT_STORE_H_

// Where the maker's server keeps the spam reports it received and the reference-list versions it
// published. Two kinds: a SQLite file for one machine, and PostgreSQL, which several server
// processes share (they keep no state of their own that another would need).
//
// Every call is complete when it returns: a report or a version is committed before the call
// returns, so an answer sent after it never promises more than the database holds. Every
// failure throws StoreError. An object is used by one thread at a time.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "reflist/release_manifest.h"

namespace tervane {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One spam report as the server received it.
struct SpamReport {
  std::string address;   // the reported sender address, in lower case
  std::string content;   // the content digest, 32 upper-case hex digits
  std::string client;    // the reporting client's IP address, as text
  int64_t received = 0;  // seconds since 1970-01-01 UTC
};

// When a reported address is published: reported with at least minDigests distinct content
// digests from at least minClients distinct client addresses, received at or after `since`.
struct PublishRule {
  int64_t minDigests = 2;
  int64_t minClients = 2;
  int64_t since = 0;  // seconds since 1970-01-01 UTC
};

// When a reported domain is published as a whole: at least minAddresses distinct addresses of it
// reported, from at least minClients distinct client addresses, received at or after `since`.
struct DomainRule {
  int64_t minAddresses = 5;
  int64_t minClients = 3;
  int64_t since = 0;  // seconds since 1970-01-01 UTC
};

class ReportStore {
 public:
  virtual ~ReportStore() = default;

  // Records one report; committed on return.
  virtual void AddReport(const SpamReport& report) = 0;

  // Every reported address that passes rule, each once, in no particular order.
  virtual std::vector<std::string> QualifyingAddresses(const PublishRule& rule) = 0;

  // Every domain (what follows the last '@' of a reported address) that passes rule, each once,
  // in no particular order.
  virtual std::vector<std::string> QualifyingDomains(const DomainRule& rule) = 0;

  // The manifest of the newest version, or nullopt when none was published yet.
  virtual std::optional<ReleaseManifest> LatestVersion() = 0;

  // Stores a new version with its list text and its time (seconds since 1970). Returns false,
  // storing nothing, when that version number exists already (another server published it
  // first). Versions older than the newest keepVersions are dropped.
  virtual bool AddVersion(const ReleaseManifest& manifest, std::string_view listText,
                          int64_t created, int keepVersions) = 0;

  // The list text of a stored version, or nullopt when it is not stored.
  virtual std::optional<std::string> ListText(int64_t version) = 0;

  // How many reports are stored (for the update page).
  virtual int64_t ReportCount() = 0;
};

// How a SQLite file commits. By default a commit is one appended write-ahead-log write: it
// survives the server being killed, and the log is synced to disk at each checkpoint. With
// syncEachCommit every commit also waits for the disk, so a report answered 200 survives a power
// loss too, at about a third of the throughput. (PostgreSQL syncs by its own settings.)
struct StoreOptions {
  bool syncEachCommit = false;
};

// Opens the store that database names, creating its tables when missing:
// "postgresql://..." or "postgres://..." a PostgreSQL database (libpq's connection URI);
// anything else the path of a SQLite file, created when missing. Throws StoreError.
std::unique_ptr<ReportStore> OpenReportStore(const std::string& database,
                                             const StoreOptions& options = {});

// For the stores: runs body, turning an exception of type Error into StoreError(prefix + what()).
template <typename Error, typename Body>
void TranslateErrors(const char* prefix, Body&& body) {
  try {
    body();
  } catch (const Error& e) {
    throw StoreError(std::string(prefix) + e.what());
  }
}

// True iff database names a PostgreSQL database rather than a SQLite file.
bool IsPostgresAddress(std::string_view database);

}  // namespace tervane

#endif  // TERVANE_SERVER_REPORT_STORE_H_
