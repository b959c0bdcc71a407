#include "engine/classification.h"

#include <gtest/gtest.h>

#include "store/database_error.h"
#include "tests/engine/engine_fixture.h"

namespace tervane::testing {
namespace {

enum class Verdict { kKeep, kSpam };

struct VerdictCase {
  const char* name;
  const char* sender;
  const char* white;  // the white list's entry ("" for none): an address or "@domain"
  const char* black;
  int32_t level;
  Verdict verdict;
  int queries;
  const char* reason;  // as the log gives it
};
void PrintTo(const VerdictCase& c, std::ostream* os) {
  *os << c.name;
}

class VerdictTest : public EngineTest, public ::testing::WithParamInterface<VerdictCase> {};

// Every combination of lists and levels, by address and by domain: the verdict and how many
// lookups it took (each list is asked for the address, then for its domain).
TEST_P(VerdictTest, JudgesBySenderListsAndLevel) {
  const VerdictCase& c = GetParam();
  if (*c.white != '\0')
    AddRow(QueryText::kWhiteTableLookup, c.white);
  if (*c.black != '\0')
    AddRow(QueryText::kBlackTableLookup, c.black);
  securityLevel.Set(c.level);
  const int32_t id = store.AddMessage(store.InboxId(), {SimpleHeaders(c.sender)});
  const int64_t before = Queries();

  FilterNewMessage(context, store.InboxId(), id);

  EXPECT_EQ(Queries() - before, c.queries);
  if (c.verdict == Verdict::kSpam) {
    EXPECT_EQ(store.moves(),
              (std::vector<FakeMailStore::Move>{{store.InboxId(), spamFolderId, id}}));
  } else {
    EXPECT_TRUE(store.moves().empty());
  }
  EXPECT_EQ(SpamNumber(), 0);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], std::string(c.verdict == Verdict::kSpam ? "spam" : "kept") +
                              ": message " + std::to_string(id) + " in Inbox from <" + c.sender +
                              ">: " + c.reason + "; " +
                              (c.verdict == Verdict::kSpam ? "moved to spam" : "left in Inbox"));
}

constexpr const char* kSomeone = "someone@mail.example";
constexpr const char* kKnown = "known@spam-sender.example";  // on the reference list
constexpr const char* kBulk = "anyone@bulk-sender.example";  // its domain on the reference list

INSTANTIATE_TEST_SUITE_P(
    Table, VerdictTest,
    ::testing::Values(
        VerdictCase{"WhiteOnlyHigh", kSomeone, kSomeone, "", 3, Verdict::kKeep, 1,
                    "on the white list"},
        VerdictCase{"WhiteOnlyMedium", kSomeone, kSomeone, "", 2, Verdict::kKeep, 1,
                    "on the white list"},
        VerdictCase{"WhiteOnlyLow", kSomeone, kSomeone, "", 1, Verdict::kKeep, 1,
                    "on the white list"},
        VerdictCase{"WhiteBeatsBlackHigh", kSomeone, kSomeone, kSomeone, 3, Verdict::kKeep, 1,
                    "on the white list"},
        VerdictCase{"WhiteBeatsBlackLow", kSomeone, kSomeone, kSomeone, 1, Verdict::kKeep, 1,
                    "on the white list"},
        VerdictCase{"WhiteBeatsReferenceMedium", kKnown, kKnown, "", 2, Verdict::kKeep, 1,
                    "on the white list"},
        VerdictCase{"BlackHigh", kSomeone, "", kSomeone, 3, Verdict::kSpam, 2,
                    "not on the white list, level High"},
        VerdictCase{"BlackMedium", kSomeone, "", kSomeone, 2, Verdict::kSpam, 3,
                    "on the black list"},
        VerdictCase{"BlackLow", kSomeone, "", kSomeone, 1, Verdict::kSpam, 3, "on the black list"},
        VerdictCase{"ReferenceHigh", kKnown, "", "", 3, Verdict::kSpam, 2,
                    "not on the white list, level High"},
        VerdictCase{"ReferenceMedium", kKnown, "", "", 2, Verdict::kSpam, 5,
                    "on the reference list"},
        VerdictCase{"ReferenceLowIsNotRead", kKnown, "", "", 1, Verdict::kKeep, 4,
                    "not on the black list, level Low"},
        VerdictCase{"NoListHigh", kSomeone, "", "", 3, Verdict::kSpam, 2,
                    "not on the white list, level High"},
        VerdictCase{"NoListMedium", kSomeone, "", "", 2, Verdict::kKeep, 6, "on no list"},
        VerdictCase{"NoListLow", kSomeone, "", "", 1, Verdict::kKeep, 4,
                    "not on the black list, level Low"},
        VerdictCase{"Level0ActsAsMediumReference", kKnown, "", "", 0, Verdict::kSpam, 5,
                    "on the reference list"},
        VerdictCase{"Level4ActsAsMediumNoList", kSomeone, "", "", 4, Verdict::kKeep, 6,
                    "on no list"},
        VerdictCase{"Level4ActsAsMediumBlack", kSomeone, "", kSomeone, 4, Verdict::kSpam, 3,
                    "on the black list"},
        // Domain entries: each list's domain is asked after its address, in the same order.
        VerdictCase{"WhiteDomainBeatsBlackAddress", kSomeone, "@mail.example", kSomeone, 2,
                    Verdict::kKeep, 2, "on the white list by its domain"},
        VerdictCase{"BlackDomainMedium", kSomeone, "", "@mail.example", 2, Verdict::kSpam, 4,
                    "on the black list by its domain"},
        VerdictCase{"BlackAddressBeforeItsDomain", kSomeone, "", kSomeone, 2, Verdict::kSpam, 3,
                    "on the black list"},
        VerdictCase{"BlackDomainIgnoresLetterCase", "Someone@MAIL.Example", "", "@mail.example", 1,
                    Verdict::kSpam, 4, "on the black list by its domain"},
        VerdictCase{"BlackDomainBeatsReferenceDomain", kBulk, "", "@bulk-sender.example", 2,
                    Verdict::kSpam, 4, "on the black list by its domain"},
        VerdictCase{"ReferenceDomainMedium", kBulk, "", "", 2, Verdict::kSpam, 6,
                    "on the reference list by its domain"},
        VerdictCase{"ReferenceDomainLowIsNotRead", kBulk, "", "", 1, Verdict::kKeep, 4,
                    "not on the black list, level Low"},
        VerdictCase{"NoSubdomain", "x@eu.mail.example", "", "@mail.example", 2, Verdict::kKeep, 6,
                    "on no list"},
        VerdictCase{"NoOtherDomainEndingAlike", "x@gmail.example", "", "@mail.example", 2,
                    Verdict::kKeep, 6, "on no list"},
        VerdictCase{"DomainAfterTheLastAt", "\"a@mail.example\"@other.example", "", "@mail.example",
                    2, Verdict::kKeep, 6, "on no list"}),
    [](const ::testing::TestParamInfo<VerdictCase>& info) { return std::string(info.param.name); });

struct InvalidSenderCase {
  const char* name;
  std::string headers;
};
void PrintTo(const InvalidSenderCase& c, std::ostream* os) {
  *os << c.name;
}

class InvalidSenderTest : public EngineTest,
                          public ::testing::WithParamInterface<InvalidSenderCase> {};

// An address that is not valid is spam at every level before any lookup, even when white-listed.
TEST_P(InvalidSenderTest, IsSpamWithoutLookup) {
  AddRow(QueryText::kWhiteTableLookup, "");
  for (const int32_t level : {1, 2, 3}) {
    securityLevel.Set(level);
    const int32_t id = store.AddMessage(store.InboxId(), {GetParam().headers});
    const int64_t before = Queries();
    FilterNewMessage(context, store.InboxId(), id);
    EXPECT_EQ(Queries(), before);
    ASSERT_FALSE(store.moves().empty());
    EXPECT_EQ(store.moves().back().messageId, id);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InvalidSenderTest,
    ::testing::Values(InvalidSenderCase{"EmptyReturnPath",
                                        "Return-Path: <>\r\nFrom: A <a@white.example>\r\n"},
                      InvalidSenderCase{"NoHeaders", ""},
                      InvalidSenderCase{"NoDomainDot", "From: A <a@localhost>\r\n"}),
    [](const ::testing::TestParamInfo<InvalidSenderCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(EngineTest, SpamFolderEventsAreIgnoredWithoutAnyCall) {
  const int32_t id = store.AddMessage(spamFolderId, {SimpleHeaders("x@y")});
  FilterNewMessage(context, spamFolderId, id);
  EXPECT_EQ(store.getFolderCalls(), 0);
  EXPECT_EQ(store.getHeadersCalls(), 0);
  EXPECT_EQ(Queries(), 0);
  EXPECT_TRUE(store.moves().empty());
}

TEST_F(EngineTest, AnyOtherFolderIsClassifiedAlike) {
  const int32_t sent = store.AddFolder("Sent");
  const int32_t id = store.AddMessage(sent, {SimpleHeaders("", "")});
  FilterNewMessage(context, sent, id);
  EXPECT_EQ(store.moves(), (std::vector<FakeMailStore::Move>{{sent, spamFolderId, id}}));
}

TEST_F(EngineTest, VanishedFolderOrMessageIsLeftAlone) {
  FilterNewMessage(context, 999, 1);
  const int32_t id = store.AddMessage(store.InboxId(), {SimpleHeaders("")});
  store.RemoveMessage(store.InboxId(), id);
  FilterNewMessage(context, store.InboxId(), id);
  EXPECT_TRUE(store.moves().empty());
  EXPECT_EQ(Queries(), 0);
}

TEST_F(EngineTest, AddressIsMatchedWholeIncludingQuotes) {
  AddRow(QueryText::kBlackTableLookup, "o'brien@mail.example");
  const int32_t quoted = store.AddMessage(store.InboxId(), {SimpleHeaders("o'brien@mail.example")});
  const int32_t other = store.AddMessage(store.InboxId(), {SimpleHeaders("brien@mail.example")});
  FilterNewMessage(context, store.InboxId(), quoted);
  FilterNewMessage(context, store.InboxId(), other);
  EXPECT_EQ(store.moves(),
            (std::vector<FakeMailStore::Move>{{store.InboxId(), spamFolderId, quoted}}));
}

TEST_F(EngineTest, LookupIgnoresLetterCaseAsTheDatabaseDoes) {
  AddRow(QueryText::kWhiteTableLookup, "Ann@Mail.Example");
  securityLevel.Set(3);
  const int32_t id = store.AddMessage(store.InboxId(), {SimpleHeaders("ann@mail.example")});
  FilterNewMessage(context, store.InboxId(), id);
  EXPECT_TRUE(store.moves().empty());
}

TEST_F(EngineTest, DatabaseErrorEndsClassificationWithoutMove) {
  const int32_t id = store.AddMessage(store.InboxId(), {SimpleHeaders("a@b.example")});
  CloseFilterDatabase(db);
  EXPECT_THROW(FilterNewMessage(context, store.InboxId(), id), DatabaseError);
  EXPECT_TRUE(store.moves().empty());
  OpenFilterDatabase(db, folder.dir.path());
}

}  // namespace
}  // namespace tervane::testing
