#ifndef TERVANE_IMAPSTORE_IMAP_OBJECTS_H_
#define TERVANE_IMAPSTORE_IMAP_OBJECTS_H_

#include <memory>

#include "mailapi/extension_interface.h"

namespace tervane::imap {

class ImapMailStore;

// A folder manager over store, with its own folder walk; its folders and messages are views that
// ask the store at each call. REQUIRES: store outlives it.
std::unique_ptr<IOEFolderManager> MakeImapFolderManager(ImapMailStore& store);

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_IMAP_OBJECTS_H_
