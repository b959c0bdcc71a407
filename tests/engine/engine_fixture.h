#ifndef TERVANE_TESTS_ENGINE_ENGINE_FIXTURE_H_
#define TERVANE_TESTS_ENGINE_ENGINE_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/filter_context.h"
#include "engine/spam_reporter.h"
#include "store/filter_database.h"
#include "tests/support/fake_mail_store.h"
#include "tests/support/program_folder.h"
#include "tests/support/recording_log.h"

namespace tervane::testing {

// A clock pinned to one day.
class FixedClock : public IClock {
 public:
  explicit FixedClock(TDateTime today) : today_(today) {}
  TDateTime Today() const override { return today_; }

 private:
  TDateTime today_;
};

// Remembers every report address it was asked to send, in order.
class RecordingReporter : public ISpamReporter {
 public:
  void Navigate(const std::string& address) override {
    addresses.push_back(address);
    if (afterNavigate)
      afterNavigate();
  }
  std::vector<std::string> addresses;
  std::function<void()> afterNavigate;
};

// A list row as stored.
struct ListRow {
  std::string mail;
  std::string name;
  TDateTime date;
  bool operator==(const ListRow&) const = default;
};
void PrintTo(const ListRow& row, std::ostream* os);

// Real database files in a temporary program folder, opened, plus a fake mail client with a
// spam folder, all wired into one engine context.
class EngineTest : public ::testing::Test {
 protected:
  // The reference list holds kReferenceSender and kReferenceDomain.
  EngineTest();
  ~EngineTest() override;

  // Rows of whitetable or blacktable (kWhiteTable / kBlackTable), in stored order.
  std::vector<ListRow> Rows(QueryText table);
  void AddRow(QueryText lookup, const std::string& mail, const std::string& name = "");
  int32_t SpamNumber();
  TDateTime Watermark();
  // Queries run through the two cursors the engine uses since the database was opened.
  int64_t Queries() const;

  static inline const TDateTime kToday = EncodeDateTime(2026, 12, 9);
  static constexpr const char* kReferenceSender = "known@spam-sender.example";
  static constexpr const char* kReferenceDomain = "@bulk-sender.example";

  ProgramFolder folder;
  FilterDatabase db;
  FakeMailStore store;
  RecordingReporter reporter;
  FixedClock clock{kToday};
  RecordingLog log;
  int32_t spamFolderId = 0;
  ProgramSecurityLevel securityLevel;
  int64_t queriesAtOpen_ = 0;
  FilterContext context{
      store, store, db, reporter, clock, log, spamFolderId, securityLevel, "reports.example"};
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_ENGINE_ENGINE_FIXTURE_H_
