#ifndef TERVANE_TOOLS_OECTL_DELIVERY_FOLDER_H_
#define TERVANE_TOOLS_OECTL_DELIVERY_FOLDER_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace tervane {

// The directory of the folder a message is delivered into: one of the folders the Maildir at
// root holds on disk, never a path made from what the user or a server typed. folder is
//   - a folder id (digits): the running mail client's folder of that id, which dirOfId gives
//     (the directory the mail client reads, matched to ours by its inode, so that folders whose
//     names show alike, or a subfolder named ".Inbox", are told apart);
//   - "Inbox" in any letter case: root itself;
//   - otherwise the exact name of a subfolder (".Name" on disk): "Work/", "spam/..", "/" or the
//     empty name name none.
// Makes root a Maildir (cur/, new/ and tmp/, mode 0700) when it is missing, as delivery agents
// do; subfolders are never made.
// Throws std::runtime_error with a one-line message ("unknown folder: X") when folder names
// none, and whatever dirOfId throws.
std::filesystem::path DeliveryFolder(
    const std::filesystem::path& root, std::string_view folder,
    const std::function<std::filesystem::path(int32_t id)>& dirOfId);

}  // namespace tervane

#endif  // TERVANE_TOOLS_OECTL_DELIVERY_FOLDER_H_
