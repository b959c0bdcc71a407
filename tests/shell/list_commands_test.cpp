// The program's side of tervane-lists: requests carried out on the program's own database.
#include "shell/list_commands.h"

#include <gtest/gtest.h>

#include <QJsonObject>
#include <string>

#include "engine/address_rules.h"
#include "engine/misc_row.h"
#include "extserver/extension_server.h"
#include "lists/list_protocol.h"
#include "store/filter_database.h"
#include "tests/store/store_test_support.h"

namespace tervane {
namespace {

class ListCommandsTest : public ::testing::Test {
 protected:
  QJsonObject Answer(QJsonObject request) {
    request.insert("cmd", list_protocol::kCommand);
    request.insert("folder", QString::fromStdString(folder.dir.path().string()));
    return commands.Answer(request);
  }
  std::string Refusal(const QJsonObject& request) {
    try {
      Answer(request);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "(answered)";
  }

  testing::TempDir mail;
  testing::ProgramFolder folder;
  ExtensionServer server{ServerOptions{mail / "Maildir", {}}};
  FilterDatabase db;
  int32_t securityLevel = 2;
  ProgramListCommands commands{server, db, folder.dir.path(), securityLevel};
};

TEST_F(ListCommandsTest, ADetachedProgramOpensTheDatabaseForOneRequest) {
  ASSERT_NE(server.FindProgramCommand(list_protocol::kCommand), nullptr);
  EXPECT_EQ(Answer({{"action", "add"}, {"list", "black"}, {"address", "spam@x.org"}})
                .value("result")
                .toString(),
            list_protocol::kAdded);
  EXPECT_FALSE(db.ADOConnection1.Connected());
  EXPECT_FALSE(db.ADOConnection2.Connected());

  // Attached, the open database is used and stays open.
  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_EQ(Answer({{"action", "add"}, {"list", "black"}, {"address", "SPAM@x.org"}})
                .value("result")
                .toString(),
            list_protocol::kAlreadyListed);
  EXPECT_TRUE(db.ADOConnection1.Connected());
}

TEST_F(ListCommandsTest, LevelIsStoredAndJudgesTheNextMessage) {
  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_EQ(Answer({{"action", "level"}, {"level", 3}}).value("level").toInt(), 3);
  EXPECT_EQ(securityLevel, 3);
  EXPECT_EQ(ReadMiscRow(db).secureclass, 3);
  EXPECT_EQ(Refusal({{"action", "level"}, {"level", 7}}), "no such security level: 7");
  EXPECT_EQ(securityLevel, 3);
}

TEST_F(ListCommandsTest, RefusesAnotherFolderAnInvalidAddressAndTheReferenceList) {
  QJsonObject request{{"cmd", list_protocol::kCommand}, {"action", "stats"}, {"folder", "/else"}};
  EXPECT_THROW(commands.Answer(request), std::runtime_error);
  EXPECT_EQ(Refusal({{"action", "add"}, {"list", "white"}, {"address", "Ann <a@x.org>"}}),
            kInvalidEmailMessage);
  EXPECT_EQ(Refusal({{"action", "remove"}, {"list", "reference"}, {"address", "a@x.org"}}),
            "no such list: reference");
  EXPECT_EQ(Refusal({{"action", "drop"}}), "unknown lists action: drop");
}

TEST(ListCommandsLife, TheCommandGoesWithTheObject) {
  const testing::TempDir mail;
  ExtensionServer server{ServerOptions{mail / "Maildir", {}}};
  FilterDatabase db;
  int32_t level = 0;
  { const ProgramListCommands commands(server, db, mail.path(), level); }
  EXPECT_EQ(server.FindProgramCommand(list_protocol::kCommand), nullptr);
}

}  // namespace
}  // namespace tervane
