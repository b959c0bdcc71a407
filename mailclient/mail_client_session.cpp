#include "mailclient/mail_client_session.h"

#include <memory>

#include "engine/filter_context.h"
#include "engine/harvest.h"
#include "log/decision_log.h"
#include "mailapi/mail_store.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

// The id of the first folder of the walk named exactly "spam", or -1.
int32_t FindSpamFolder(IOEFolderManager& folders) {
  for (std::unique_ptr<IOEFolder> folder = folders.GetFirstFolder(); folder;
       folder = folders.GetNextFolder()) {
    if (folder->GetName() == kSpamFolderName)
      return folder->GetID();
  }
  return -1;
}

}  // namespace

bool AttachToMailClient(MailClientComponents& oe, FilterDatabase& db,
                        const std::string& programFolder,
                        const std::filesystem::path& databaseFolder, int32_t& spamFolderId,
                        ProgramSecurityLevel& securityLevel) {
  oe.OEToolbar1.Bind(oe.OEAPI1.GetToolbar());
  const bool gotToolbar = oe.OEToolbar1.IsBound();
  if (gotToolbar) {
    for (const ToolbarButtonRow& button : kToolbarButtons) {
      const std::string image = programFolder + std::string(button.image);
      (oe.*button.component)
          .Bind(oe.OEToolbar1.CreateButton(std::string(button.caption), image, image));
    }
  }

  AttachFilter(oe, db, databaseFolder, spamFolderId, securityLevel);
  return gotToolbar;
}

void AttachFilter(MailClientComponents& oe, FilterDatabase& db,
                  const std::filesystem::path& databaseFolder, int32_t& spamFolderId,
                  ProgramSecurityLevel& securityLevel) {
  securityLevel.Set(OpenFilterDatabase(db, databaseFolder));

  spamFolderId = FindSpamFolder(oe.OEFolderManager);
  if (spamFolderId == -1)
    spamFolderId = oe.OEFolderManager.CreateFolder(0, std::string(kSpamFolderName));
  // Without a spam folder no spam could be moved; the attach fails rather than filter nothing.
  if (spamFolderId == -1)
    throw ExtensionError("The mail client could not make the folder \"spam\".");

  oe.OEFolderManager.Connect();
  oe.OEFolderManager.ActivateNotifications();
}

int32_t NextDetachNumber(int32_t count) {
  return static_cast<int32_t>(static_cast<uint32_t>(count) + 1u);
}

void DetachFromMailClient(MailClientComponents& oe, FilterContext& context,
                          const std::filesystem::path& databaseFolder) {
  oe.OEFolderManager.Disconnect();

  RecordCursor& cursor = context.database.ADODataSet1;
  cursor.Query(QueryText::kMiscWhereId1);
  const int32_t number = NextDetachNumber(cursor.FieldAsInteger("number"));
  const bool harvests = number % 20 == 1;
  // Counted once the harvest it calls for is stored: a harvest cut short (a kill, an error) runs
  // again at the next detach rather than twenty later.
  if (harvests)
    HarvestSentRecipients(context);
  cursor.Query(QueryText::kMiscWhereId1);
  cursor.Edit();
  cursor.SetFieldAsInteger("number", number);
  cursor.Post();

  if (harvests) {
    const std::filesystem::path customer = databaseFolder / kCustomerDatabaseFile;
    const bool compacted =
        CompactDatabaseFile(context.database, customer, kCustomerDatabasePassword);
    context.log.Write("compaction of " + customer.string() +
                      (compacted ? ": done" : ": failed; the file is as it was"));
  }

  CloseFilterDatabase(context.database);
}

}  // namespace tervane
