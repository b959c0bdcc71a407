// The control socket's request and answer lines.

#include "control/control_protocol.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <variant>

namespace tervane {
namespace {

ControlRequest Request(ControlCommand command, std::string folder = "",
                       std::vector<int32_t> ids = {}, std::string caption = "") {
  ControlRequest request;
  request.command = command;
  request.folder = std::move(folder);
  request.ids = std::move(ids);
  request.caption = std::move(caption);
  return request;
}

ControlRequest MarkRequest(ControlCommand command, std::vector<std::string> files,
                           std::string transfer = "") {
  ControlRequest request = Request(command);
  request.files = std::move(files);
  request.transfer = std::move(transfer);
  return request;
}

TEST(ControlProtocolTest, EveryRequestSurvivesEncoding) {
  const ControlRequest requests[] = {
      Request(ControlCommand::kStatus),
      Request(ControlCommand::kStart),
      Request(ControlCommand::kStop),
      Request(ControlCommand::kFolders),
      Request(ControlCommand::kList, "Späm \"mail\""),
      Request(ControlCommand::kSelect, "Inbox", {3, -1, 2147483647}),
      Request(ControlCommand::kSelect, "7"),
      Request(ControlCommand::kButtons),
      Request(ControlCommand::kClick, "", {}, "Not Spam"),
      MarkRequest(ControlCommand::kSpam, {"/home/ann/Maildir/cur/1.a:2,S", "/m/\xff b"}),
      MarkRequest(ControlCommand::kNotSpam, {}, "/run/user/1/tervane-transfer-x/message"),
  };
  for (const ControlRequest& request : requests) {
    const std::string line = EncodeRequest(request);
    SCOPED_TRACE(line);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    auto decoded = DecodeRequest(line);
    ASSERT_TRUE(std::holds_alternative<ControlRequest>(decoded)) << std::get<std::string>(decoded);
    const auto& back = std::get<ControlRequest>(decoded);
    EXPECT_EQ(back.command, request.command);
    EXPECT_EQ(back.folder, request.folder);
    EXPECT_EQ(back.ids, request.ids);
    EXPECT_EQ(back.caption, request.caption);
    EXPECT_EQ(back.files, request.files);
    EXPECT_EQ(back.transfer, request.transfer);
  }
}

// The list commands of tervane-lists travel in the same language: each action with its members.
TEST(ControlProtocolTest, EveryListsRequestSurvivesEncoding) {
  const ListsRequest requests[] = {
      {ListsAction::kFolder, "", "", "", {}, "", "", {}},
      {ListsAction::kRows, "/lists", "reference", "", {}, "Ann \"x\"", "/run/t/rows", {}},
      {ListsAction::kAdd, "/lists", "black", "spam@x.org", "Späm", "", "", {}},
      {ListsAction::kAdd, "/lists", "white", "a@x.org", std::nullopt, "", "", {}},
      {ListsAction::kRemove, "/lists", "white", "a@x.org", {}, "", "", {}},
      {ListsAction::kImport, "/lists", "black", "", {}, "", "/run/t/import", {}},
      {ListsAction::kLevel, "/lists", "", "", {}, "", "", 3},
      {ListsAction::kLevel, "/lists", "", "", {}, "", "", std::nullopt},
      {ListsAction::kStats, "/lists", "", "", {}, "", "", {}},
  };
  for (const ListsRequest& lists : requests) {
    ControlRequest request;
    request.command = ControlCommand::kLists;
    request.lists = lists;
    const std::string line = EncodeRequest(request);
    SCOPED_TRACE(line);
    auto decoded = DecodeRequest(line);
    ASSERT_TRUE(std::holds_alternative<ControlRequest>(decoded)) << std::get<std::string>(decoded);
    const ListsRequest& back = std::get<ControlRequest>(decoded).lists;
    EXPECT_EQ(back.action, lists.action);
    EXPECT_EQ(back.dataFolder, lists.dataFolder);
    EXPECT_EQ(back.list, lists.list);
    EXPECT_EQ(back.address, lists.address);
    EXPECT_EQ(back.name, lists.name);
    EXPECT_EQ(back.match, lists.match);
    EXPECT_EQ(back.file, lists.file);
    EXPECT_EQ(back.level, lists.level);
  }
}

TEST(ControlProtocolTest, CommandNamesParseBack) {
  for (const char* name : {"status", "start", "stop", "folders", "list", "select", "buttons",
                           "click", "settings", "reopen-reference", "lists", "spam", "notspam"}) {
    const auto command = ParseControlCommand(name);
    ASSERT_TRUE(command) << name;
    EXPECT_EQ(ControlCommandName(*command), name);
  }
  EXPECT_FALSE(ParseControlCommand("Status"));
  EXPECT_FALSE(ParseControlCommand(""));
}

TEST(ControlProtocolTest, FolderMayBeANumberAndSelectionMayBeEmpty) {
  auto decoded = DecodeRequest(R"({"cmd":"select","folder":12})");
  ASSERT_TRUE(std::holds_alternative<ControlRequest>(decoded));
  EXPECT_EQ(std::get<ControlRequest>(decoded).folder, "12");
  EXPECT_TRUE(std::get<ControlRequest>(decoded).ids.empty());
}

struct BadLine {
  const char* name;
  std::string line;
  const char* error;  // a part of the refusal
};

void PrintTo(const BadLine& c, std::ostream* os) {
  *os << c.name;
}

class BadRequestTest : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadRequestTest, IsRefusedWithAReason) {
  auto decoded = DecodeRequest(GetParam().line);
  ASSERT_TRUE(std::holds_alternative<std::string>(decoded));
  const std::string& reason = std::get<std::string>(decoded);
  EXPECT_NE(reason.find(GetParam().error), std::string::npos) << reason;
  EXPECT_EQ(reason.find('\n'), std::string::npos) << "a reason is one line: " << reason;
}

INSTANTIATE_TEST_SUITE_P(
    ControlProtocolTest, BadRequestTest,
    ::testing::Values(
        BadLine{"Empty", "", "malformed request"},
        BadLine{"NotJson", "status", "malformed request"},
        BadLine{"Truncated", R"({"cmd":"status")", "malformed request"},
        BadLine{"Binary", std::string("\xff\xfe\0{", 4), "malformed request"},
        BadLine{"Array", R"(["status"])", "not a JSON object"},
        BadLine{"NoCommand", "{}", "missing cmd"},
        BadLine{"CommandNotText", R"({"cmd":1})", "cmd must be a string"},
        BadLine{"UnknownCommand", R"({"cmd":"fly"})", "unknown command: fly"},
        BadLine{"UnknownCommandOverTwoLines", R"({"cmd":"fly\n\u001b[2Jaway"})",
                R"(unknown command: fly\x0a\x1b[2Jaway)"},
        BadLine{"ListWithoutFolder", R"({"cmd":"list"})", "missing folder"},
        BadLine{"FolderNotText", R"({"cmd":"list","folder":true})", "folder must be a string"},
        BadLine{"FractionalFolderId", R"({"cmd":"list","folder":1.5})", "name or an id"},
        BadLine{"IdsNotArray", R"({"cmd":"select","folder":"Inbox","ids":"3"})", "ids must be"},
        BadLine{"IdNotNumber", R"({"cmd":"select","folder":"Inbox","ids":["3"]})", "ids must be"},
        BadLine{"FractionalId", R"({"cmd":"select","folder":"Inbox","ids":[1.5]})", "ids must be"},
        BadLine{"IdTooLarge", R"({"cmd":"select","folder":"Inbox","ids":[2147483648]})",
                "ids must be"},
        BadLine{"ClickWithoutCaption", R"({"cmd":"click"})", "missing caption"},
        BadLine{"CaptionNotText", R"({"cmd":"click","caption":["Spam"]})",
                "caption must be a string"},
        BadLine{"UnknownListsAction", R"({"cmd":"lists","action":"drop"})",
                "unknown lists action: drop"},
        BadLine{"ListsWithoutFolder", R"({"cmd":"lists","action":"stats"})", "missing folder"},
        BadLine{"AddWithoutAddress",
                R"({"cmd":"lists","action":"add","folder":"/l","list":"white"})",
                "missing address"},
        BadLine{"SpamOfNothing", R"({"cmd":"spam"})", "name message files or one transfer file"},
        BadLine{"SpamOfFilesAndTransfer", R"({"cmd":"spam","files":["/a"],"transfer":"/b"})",
                "name message files or one transfer file"},
        BadLine{"NotSpamOfNoFile", R"({"cmd":"notspam","files":[]})",
                "name message files or one transfer file"},
        BadLine{"LevelNotWhole", R"({"cmd":"lists","action":"level","folder":"/l","level":2.5})",
                "level must be a whole number"}),
    [](const ::testing::TestParamInfo<BadLine>& info) { return info.param.name; });

TEST(ControlProtocolTest, EveryAnswerSurvivesEncoding) {
  ControlAnswer status;
  status.running = false;
  ControlAnswer folders;
  folders.folders = {{1, "Inbox", 2, "/home/ann/Maildir"},
                     {4, "Sent Items", 0, "/home/ann/Maildir/.Sent Items"},
                     // a name that is not UTF-8 shows as "��"; its directory keeps its bytes
                     {5, "\xef\xbf\xbd\xef\xbf\xbd", 0, "/home/ann/Maildir/.\xff\xfe%41"}};
  ControlAnswer messages;
  messages.messages = {{7, "ann@example.org", "Grüße\tand\nmore"}, {8, "", ""}};
  ControlAnswer buttons;
  buttons.buttons = {"Spam", "Not Spam"};
  ControlAnswer refusal;
  refusal.ok = false;
  refusal.error = "unknown folder: Foo";
  ControlAnswer imported;
  imported.lists.imported = 3000;
  imported.lists.alreadyListed = 2;
  imported.lists.invalidLines = std::vector<int64_t>{7, 9};
  ControlAnswer stats;
  stats.lists.stats = ListsStats{3, 1495, 21, 46365.0};
  ControlAnswer neverHarvested;
  neverHarvested.lists.stats = ListsStats{2, 0, 0, std::nullopt};
  neverHarvested.reopened = true;

  for (const ControlAnswer& answer : {status, folders, messages, buttons, refusal, imported, stats,
                                      neverHarvested, ControlAnswer{}}) {
    const std::string line = EncodeAnswer(answer);
    SCOPED_TRACE(line);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    auto decoded = DecodeAnswer(line);
    ASSERT_TRUE(std::holds_alternative<ControlAnswer>(decoded)) << std::get<std::string>(decoded);
    const auto& back = std::get<ControlAnswer>(decoded);
    EXPECT_EQ(back.ok, answer.ok);
    EXPECT_EQ(back.error, answer.error);
    EXPECT_EQ(back.running, answer.running);
    EXPECT_EQ(back.buttons, answer.buttons);
    ASSERT_EQ(back.folders.has_value(), answer.folders.has_value());
    for (size_t i = 0; answer.folders && i < answer.folders->size(); ++i) {
      EXPECT_EQ((*back.folders)[i].id, (*answer.folders)[i].id);
      EXPECT_EQ((*back.folders)[i].name, (*answer.folders)[i].name);
      EXPECT_EQ((*back.folders)[i].count, (*answer.folders)[i].count);
      EXPECT_EQ((*back.folders)[i].location, (*answer.folders)[i].location);  // byte for byte
    }
    ASSERT_EQ(back.messages.has_value(), answer.messages.has_value());
    for (size_t i = 0; answer.messages && i < answer.messages->size(); ++i) {
      EXPECT_EQ((*back.messages)[i].id, (*answer.messages)[i].id);
      EXPECT_EQ((*back.messages)[i].sender, (*answer.messages)[i].sender);
      EXPECT_EQ((*back.messages)[i].subject, (*answer.messages)[i].subject);
    }
    EXPECT_EQ(back.reopened, answer.reopened);
    EXPECT_EQ(back.lists.imported, answer.lists.imported);
    EXPECT_EQ(back.lists.alreadyListed, answer.lists.alreadyListed);
    EXPECT_EQ(back.lists.invalidLines, answer.lists.invalidLines);
    ASSERT_EQ(back.lists.stats.has_value(), answer.lists.stats.has_value());
    if (answer.lists.stats) {
      EXPECT_EQ(back.lists.stats->spamnumber, answer.lists.stats->spamnumber);
      EXPECT_EQ(back.lists.stats->harvest, answer.lists.stats->harvest);
    }
  }
}

TEST(ControlProtocolTest, MalformedAnswersAreNotTakenForResults) {
  for (const char* line : {"", "[]", R"({"running":true})", R"({"ok":"yes"})", R"({"ok":false})",
                           R"({"ok":true,"running":1})", R"({"ok":true,"folders":{}})",
                           R"({"ok":true,"folders":[{"id":1}]})",
                           R"({"ok":true,"messages":[{"id":"1","sender":"","subject":""}]})",
                           R"({"ok":true,"buttons":[1]})"}) {
    EXPECT_TRUE(std::holds_alternative<std::string>(DecodeAnswer(line))) << line;
  }
}

TEST(ControlProtocolTest, InboxIsNamedInAnyLetterCaseOtherFoldersExactly) {
  const std::pair<const char*, const char*> names[] = {
      {"inbox", "Inbox"}, {"INBOX", "Inbox"}, {"Inbox", "Inbox"}, {"inboxes", "inboxes"},
      {"inbo", "inbo"},   {"sent", "sent"},   {"", ""},           {".Inbox", ".Inbox"}};
  for (const auto& [typed, meant] : names) {
    EXPECT_EQ(CanonicalFolderName(typed), meant) << typed;
  }
}

}  // namespace
}  // namespace tervane
