#ifndef TERVANE_MAILDIR_MAILDIR_DELIVERY_H_
#define TERVANE_MAILDIR_MAILDIR_DELIVERY_H_

#include <filesystem>
#include <string>
#include <string_view>

namespace tervane {

// The folder of a Maildir++ store named folderName: the root for "Inbox", else root/".Name".
std::filesystem::path MaildirFolderPath(const std::filesystem::path& root,
                                        std::string_view folderName);

// A file name no other delivery on this host uses: "<secs>.M<usecs>P<pid>Q<counter>.<host>".
std::string UniqueMaildirName();

// Writes bytes as a new message of folderDir the Maildir way: into tmp/ (synced to disk), then
// renamed into new/. Returns the message's path in new/. Throws ExtensionError with a one-line
// message when the folder is missing or the write fails; nothing is left in tmp/ then.
std::filesystem::path DeliverMessage(const std::filesystem::path& folderDir,
                                     std::string_view bytes);

}  // namespace tervane

#endif  // TERVANE_MAILDIR_MAILDIR_DELIVERY_H_
