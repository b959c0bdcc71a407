// The program's side of tervane-lists: requests carried out on the program's own database.
#include "shell/program_list_commands.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>
#include <string>
#include <variant>

#include "control/control_protocol.h"
#include "engine/address_rules.h"
#include "engine/misc_row.h"
#include "store/filter_database.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

class ListCommandsTest : public ::testing::Test {
 protected:
  // The answer to request as the control socket carries it, decoded first.
  ListsAnswer Answer(QJsonObject request) {
    request.insert("cmd", "lists");
    if (!request.contains("folder"))
      request.insert("folder", QString::fromStdString(folder.dir.path().string()));
    auto decoded =
        DecodeRequest(QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString());
    if (const auto* error = std::get_if<std::string>(&decoded))
      throw std::runtime_error(*error);
    return commands.Answer(std::get<ControlRequest>(decoded).lists);
  }
  std::string Refusal(const QJsonObject& request) {
    try {
      Answer(request);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "(answered)";
  }

  testing::ProgramFolder folder;
  FilterDatabase db;
  ProgramSecurityLevel securityLevel;
  ProgramListCommands commands{db, folder.dir.path(), securityLevel};
};

TEST_F(ListCommandsTest, ADetachedProgramOpensTheDatabaseForOneRequest) {
  EXPECT_EQ(Answer({{"action", "add"}, {"list", "black"}, {"address", "spam@x.org"}}).result,
            kListsAdded);
  EXPECT_FALSE(db.ADOConnection1.Connected());
  EXPECT_FALSE(db.ADOConnection2.Connected());

  // Attached, the open database is used and stays open.
  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_EQ(Answer({{"action", "add"}, {"list", "black"}, {"address", "SPAM@x.org"}}).result,
            kListsAlreadyListed);
  EXPECT_TRUE(db.ADOConnection1.Connected());
}

TEST_F(ListCommandsTest, LevelIsStoredAndJudgesTheNextMessage) {
  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_EQ(Answer({{"action", "level"}, {"level", 3}}).level, 3);
  EXPECT_EQ(securityLevel.stored(), 3);
  EXPECT_EQ(securityLevel.level(), SecurityLevel::kHigh);
  EXPECT_EQ(ReadMiscRow(db).secureclass, 3);
  EXPECT_EQ(Refusal({{"action", "level"}, {"level", 7}}), "no such security level: 7");
  EXPECT_EQ(securityLevel.stored(), 3);
}

TEST_F(ListCommandsTest, RefusesAnotherFolderAnInvalidAddressAndTheReferenceList) {
  EXPECT_THROW(Answer({{"action", "stats"}, {"folder", "/else"}}), std::runtime_error);
  EXPECT_EQ(Refusal({{"action", "add"}, {"list", "white"}, {"address", "Ann <a@x.org>"}}),
            kInvalidEmailMessage);
  EXPECT_EQ(Refusal({{"action", "remove"}, {"list", "reference"}, {"address", "a@x.org"}}),
            "no such list: reference");
  EXPECT_EQ(Refusal({{"action", "drop"}}), "unknown lists action: drop");
}

}  // namespace
}  // namespace tervane
