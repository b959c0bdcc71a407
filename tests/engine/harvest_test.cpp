#include "engine/harvest.h"

#include <gtest/gtest.h>

#include "store/database_error.h"
#include "tests/engine/engine_fixture.h"

namespace tervane::testing {
namespace {

using ListRows = std::vector<ListRow>;

class HarvestTest : public EngineTest {
 protected:
  HarvestTest() {
    sent = store.AddFolder("Sent");
    store.SetSentFolder(sent);
  }
  void Send(const std::string& to, const std::string& date, const std::string& name = "") {
    store.AddMessage(sent, {SimpleHeaders("me@home.example", to, date), "", "", name});
  }
  void SetWatermark(TDateTime value) {
    db.ADODataSet3.Query(QueryText::kMisc);
    db.ADODataSet3.Edit();
    db.ADODataSet3.SetFieldAsDateTime("date", value);
    db.ADODataSet3.Post();
    db.ADODataSet3.Close();
  }
  std::vector<std::string> Mails() {
    std::vector<std::string> mails;
    for (const ListRow& row : Rows(QueryText::kWhiteTable))
      mails.push_back(row.mail);
    return mails;
  }

  int32_t sent = -1;
};

TEST_F(HarvestTest, EmptyFolderStillAdvancesTheWatermark) {
  HarvestSentRecipients(context);
  EXPECT_TRUE(Mails().empty());
  EXPECT_EQ(Watermark(), kToday);
}

TEST_F(HarvestTest, FirstHarvestTakesEveryReadableAndUndatedMessage) {
  Send("dated@x.example", "Mon, 15 Mar 04 10:20:30 +0800", "Dee");
  Send("undated@x.example", "", "Una");
  Send("unreadable@x.example", "sometime");
  HarvestSentRecipients(context);
  EXPECT_EQ(Rows(QueryText::kWhiteTable),
            (ListRows{{"dated@x.example", "Dee", kToday}, {"undated@x.example", "Una", kToday}}));
}

TEST_F(HarvestTest, OnlyMessagesStrictlyAfterTheWatermarkQualify) {
  SetWatermark(EncodeDateTime(2026, 12, 1));
  Send("at@x.example", "Tue, 1 Dec 2026 00:00:00 +0000");
  Send("second-later@x.example", "Tue, 1 Dec 2026 00:00:01 +0000");
  Send("older@x.example", "Mon, 30 Nov 2026 23:59:59 +0000");
  Send("undated@x.example", "");  // today minus ten days: 29 Nov
  HarvestSentRecipients(context);
  EXPECT_EQ(Mails(), std::vector<std::string>{"second-later@x.example"});
}

TEST_F(HarvestTest, UndatedMessageQualifiesWhenLastHarvestIsOverTenDaysBack) {
  SetWatermark(kToday - 11);
  Send("undated@x.example", "");
  HarvestSentRecipients(context);
  EXPECT_EQ(Mails(), std::vector<std::string>{"undated@x.example"});
}

TEST_F(HarvestTest, SameRecipientTwiceAndAlreadyListedMakeNoSecondRow) {
  AddRow(QueryText::kWhiteTableLookup, "known@x.example", "Hand Typed");
  Send("known@x.example", "1 Dec 2026 09:00 +0100", "Other Name");
  Send("twice@x.example", "2 Dec 2026 09:00 +0100", "First");
  Send("twice@x.example", "3 Dec 2026 09:00 +0100", "Second");
  HarvestSentRecipients(context);
  EXPECT_EQ(Rows(QueryText::kWhiteTable),
            (ListRows{{"known@x.example", "Hand Typed", EncodeDateTime(2020, 1, 1)},
                      {"twice@x.example", "First", kToday}}));
  EXPECT_EQ(log.lines, std::vector<std::string>{
                           "harvest: 1 addresses added to the white list from 3 of 3 sent "
                           "messages newer than 1899-12-30; watermark now 2026-12-09"});
}

TEST_F(HarvestTest, NoSentFolderLeavesTheWatermark) {
  store.SetSentFolder(-1);
  HarvestSentRecipients(context);
  EXPECT_EQ(Watermark(), kZeroDate);
}

TEST_F(HarvestTest, DatabaseErrorMidWalkKeepsRowsAndTheWatermark) {
  SetWatermark(EncodeDateTime(2026, 1, 1));
  Send("first@x.example", "1 Dec 2026 09:00 +0100");
  Send("second@x.example", "2 Dec 2026 09:00 +0100");
  store.set_onGetHeaders([this](int call) {
    if (call == 2)
      CloseFilterDatabase(db);
  });
  EXPECT_THROW(HarvestSentRecipients(context), DatabaseError);
  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_EQ(Mails(), std::vector<std::string>{"first@x.example"});
  EXPECT_EQ(Watermark(), EncodeDateTime(2026, 1, 1));
}

// A note the user sends to themselves must not white-list their own address, which spam
// forges as its sender; only the message's own sender is compared, letter case ignored.
struct OwnAddressCase {
  const char* name;
  std::string headers;
  bool harvested;
};
void PrintTo(const OwnAddressCase& c, std::ostream* os) {
  *os << c.name;
}

class HarvestOwnAddressTest : public HarvestTest,
                              public ::testing::WithParamInterface<OwnAddressCase> {};

TEST_P(HarvestOwnAddressTest, SkipsOnlyTheSendersOwnAddress) {
  store.AddMessage(sent, {GetParam().headers, "", "", ""});
  HarvestSentRecipients(context);
  EXPECT_EQ(Rows(QueryText::kWhiteTable).size(), GetParam().harvested ? 1u : 0u);
  EXPECT_EQ(Watermark(), kToday);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HarvestOwnAddressTest,
    ::testing::Values(
        OwnAddressCase{"ToSelf", "From: <me@home.example>\r\nTo: <me@home.example>\r\n", false},
        OwnAddressCase{"ToSelfInOtherCase",
                       "From: Me <Me@HOME.example>\r\nTo: Me <me@home.example>\r\n", false},
        OwnAddressCase{"BareFromLine", "From: me@home.example\r\nTo: <me@home.example>\r\n", false},
        OwnAddressCase{"ReturnPathIsTheSender",
                       "Return-Path: <me@home.example>\r\nFrom: <alias@home.example>\r\n"
                       "To: <me@home.example>\r\n",
                       false},
        OwnAddressCase{"ReturnPathOfAnother",
                       "Return-Path: <bounces@list.example>\r\nFrom: <me@home.example>\r\n"
                       "To: <me@home.example>\r\n",
                       true},
        // The sender rule would read the To line's address here; the From line's is compared.
        OwnAddressCase{"BareFromBeforeAnotherRecipient",
                       "From: me@home.example\r\nTo: Friend <friend@home.example>\r\n", true},
        OwnAddressCase{"NoSenderKeepsTheEmptyRecipient", "To: nobody\r\n", true}),
    [](const ::testing::TestParamInfo<OwnAddressCase>& info) {
      return std::string(info.param.name);
    });

struct DateTextCase {
  const char* name;
  std::string headers;
  TDateTime expected;
};
void PrintTo(const DateTextCase& c, std::ostream* os) {
  *os << c.name;
}

// n times the two-byte UTF-8 character "\u00e9".
std::string E(int n) {
  std::string text;
  for (int i = 0; i < n; ++i)
    text += "\xC3\xA9";
  return text;
}

class SentMessageDateTest : public ::testing::TestWithParam<DateTextCase> {};

TEST_P(SentMessageDateTest, ReadsTheDateText) {
  EXPECT_EQ(SentMessageDate(GetParam().headers, EncodeDateTime(2026, 12, 9)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SentMessageDateTest,
    ::testing::Values(
        DateTextCase{"Plain", "To: <a@b>\r\nDate: 15 Mar 2004 10:20:30\r\n",
                     EncodeDateTime(2004, 3, 15, 10, 20, 30)},
        DateTextCase{"NoDateIsTenDaysBack", "To: <a@b>\r\n", EncodeDateTime(2026, 11, 29)},
        // Without the blank the day's first digit is passed over: "5 Mar 2004".
        DateTextCase{"NoBlankAfterColon", "Date:15 Mar 2004\r\n", EncodeDateTime(2004, 3, 5)},
        DateTextCase{"DeliveryDateComesFirst",
                     "Delivery-Date: 1 Jan 2001 10:00 +0000\r\nDate: 2 Feb 2002 11:00 +0000\r\n",
                     EncodeDateTime(2001, 1, 1, 10, 0, 0)},
        // The window runs on into the next header line; here it spoils the year, as a
        // date without a zone is followed by the line break at once.
        DateTextCase{"NextLineInTheWindow", "Date: 2 Feb 2002\r\nSubject: hello\r\n",
                     EncodeDateTime(1900, 2, 2)},
        // 32 characters end inside the year: "15 Mar 2004 10:20:30 +0800 (Pacif"
        // is cut to "15 Mar 2004 10:20:30 +0800 (Paci".
        DateTextCase{"CutAt32", "Date: 15 Mar 2004 10:20:30 +0800 (Pacific Time)",
                     EncodeDateTime(2004, 3, 15, 10, 20, 30)},
        // Characters are code points: with twelve two-byte "\u00e9" the text is exactly 32
        // characters (44 bytes) and is read whole; one more cuts the minutes' last digit.
        DateTextCase{"CodePointsNotBytes", "Date: Mon" + E(12) + " 1 Jan 2000 10:20",
                     EncodeDateTime(2000, 1, 1, 10, 20, 0)},
        DateTextCase{"CutAfter32CodePoints", "Date: Mon" + E(13) + " 1 Jan 2000 10:20",
                     EncodeDateTime(2000, 1, 1, 10, 2, 0)},
        DateTextCase{"MarkerAtTheEnd", "To: <a@b>\r\nDate:", kZeroDate}),
    [](const ::testing::TestParamInfo<DateTextCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace tervane::testing
