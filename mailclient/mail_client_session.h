#ifndef TERVANE_MAILCLIENT_MAIL_CLIENT_SESSION_H_
#define TERVANE_MAILCLIENT_MAIL_CLIENT_SESSION_H_

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/security_level.h"
#include "mailclient/mail_client_components.h"

namespace tervane {

struct FilterContext;
struct FilterDatabase;

// The extension-server components of the main window.
// REQUIRES: the extension server outlives them.
struct MailClientComponents {
  explicit MailClientComponents(IOEServer& server)
      : OEAPIInit1(server),
        OEFolderManager(server),
        OEAPI1(server),
        OEToolbar1(server),
        OEButton1(server),
        OEButton2(server),
        OEButton3(server),
        OEButton4(server),
        OEButton5(server),
        OEButton6(server) {}

  TOEAPIInit OEAPIInit1;
  TOEFolderManager OEFolderManager;
  TOEAPIObj OEAPI1;
  TOEToolbar OEToolbar1;
  TOEButton OEButton1;  // Config
  TOEButton OEButton2;  // Spam
  TOEButton OEButton3;  // Not Spam
  TOEButton OEButton4;  // Live Update
  TOEButton OEButton5;  // Help
  TOEButton OEButton6;  // About
};

// One of the program's toolbar buttons, in the order they are made.
struct ToolbarButtonRow {
  std::string_view caption;
  std::string_view image;  // appended to the program folder
  TOEButton MailClientComponents::*component;
};
inline constexpr std::array<ToolbarButtonRow, 6> kToolbarButtons{{
    {"Spam", "/images/bmp/mail2.bmp", &MailClientComponents::OEButton2},
    {"Not Spam", "/images/bmp/mail1.bmp", &MailClientComponents::OEButton3},
    {"Config", "/images/bmp/mail6.bmp", &MailClientComponents::OEButton1},
    {"Live Update", "/images/bmp/mail3.bmp", &MailClientComponents::OEButton4},
    {"Help", "/images/bmp/mail4.bmp", &MailClientComponents::OEButton5},
    {"About", "/images/bmp/mail5.bmp", &MailClientComponents::OEButton6},
}};

// Attaches to the mail client that has just started: binds its toolbar and makes the six
// buttons (their images from programFolder), opens the filter database in databaseFolder
// (setting securityLevel), finds the first folder named
// exactly "spam" or makes one (setting spamFolderId), connects the folder manager and switches
// on new-message events. programFolder ends with a path separator. Returns false when the mail
// client gave no toolbar (the buttons are skipped, everything else still runs). Throws on any
// failure, at the step where it arose.
bool AttachToMailClient(MailClientComponents& oe, FilterDatabase& db,
                        const std::string& programFolder,
                        const std::filesystem::path& databaseFolder, int32_t& spamFolderId,
                        ProgramSecurityLevel& securityLevel);

// The attach's steps after the toolbar's, alone: opens the filter database, finds or makes the
// spam folder, connects the folder manager and switches on new-message events (mail already in
// a folder's new/ counts as new). For trying a failed attach again while the toolbar's buttons
// it made are still there. Throws at the step that fails, like AttachToMailClient.
void AttachFilter(MailClientComponents& oe, FilterDatabase& db,
                  const std::filesystem::path& databaseFolder, int32_t& spamFolderId,
                  ProgramSecurityLevel& securityLevel);

// Detaches from the mail client that is going away: disconnects the folder manager; when the
// detach count misc.number, one more, leaves remainder 1 on division by 20, harvests the sent
// mail into the white list; counts the detach; then compacts cust.mdb of databaseFolder (on those
// same detaches) and closes the filter database. Throws a DatabaseError at the step where one
// arose; the later steps do not run, so a failed harvest is not counted and runs again.
void DetachFromMailClient(MailClientComponents& oe, FilterContext& context,
                          const std::filesystem::path& databaseFolder);

// The detach count after count: one more, wrapping at the largest 32-bit value as the stored
// field does rather than overflowing.
int32_t NextDetachNumber(int32_t count);

}  // namespace tervane

#endif  // TERVANE_MAILCLIENT_MAIL_CLIENT_SESSION_H_
